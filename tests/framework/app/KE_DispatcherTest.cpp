#include "framework/app/KE_Dispatcher.h"
#include "framework/app/KE_MessageReceiver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace
{
// Appends its id to a shared journal, then runs an optional action.
class Probe : public KE_MessageReceiver
{
public:
    Probe(int id, std::vector<int>* pJournal) : m_iId(id), m_pJournal(pJournal) {}

    bool Receive(KE_MessageType, KE_MessageSubType, void*) override
    {
        ++m_iReceived;
        if (m_pJournal != nullptr)
            m_pJournal->push_back(m_iId);
        if (m_OnReceive)
            m_OnReceive();
        return true;
    }

    int m_iId;
    std::vector<int>* m_pJournal;
    int m_iReceived = 0;
    std::function<void()> m_OnReceive;
};

std::vector<int> Deliver(KE_Dispatcher& dispatcher, std::vector<int>& journal,
                         KE_MessageType type = KE_MT_Keyboard)
{
    journal.clear();
    dispatcher.Dispatch(type, KE_MST_KeyDown, nullptr);
    return journal;
}
} // namespace

TEST(KE_Dispatcher, TypesWithoutReceiversAndInvalidTypesDeliverNothing)
{
    KE_Dispatcher dispatcher;
    std::vector<int> journal;
    Probe a(1, &journal);
    dispatcher.Dispatch(KE_MT_Mouse, KE_MST_MouseMove, nullptr);
    EXPECT_EQ(dispatcher.GetReceiverCapacity(KE_MT_Mouse), 0u);

    dispatcher.RegisterReceiver(static_cast<KE_MessageType>(8), &a);
    dispatcher.RegisterReceiver(static_cast<KE_MessageType>(0xFFFFFFFF), &a);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, nullptr);
    dispatcher.Dispatch(static_cast<KE_MessageType>(8), KE_MST_KeyDown, nullptr);
    dispatcher.UnRegisterReceiver(static_cast<KE_MessageType>(8), &a);
    EXPECT_EQ(dispatcher.GetReceiverCount(static_cast<KE_MessageType>(8)), 0u);
    EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_Keyboard), 0u);
    EXPECT_EQ(a.m_iReceived, 0);
}

TEST(KE_Dispatcher, RemovalMovesTheLastReceiverIntoTheGap)
{
    KE_Dispatcher dispatcher;
    std::vector<int> journal;
    Probe a(1, &journal), b(2, &journal), c(3, &journal), stranger(9, &journal);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &a);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &b);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &c);
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{1, 2, 3}));

    dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &a);
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2}));
    dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &stranger);
    dispatcher.UnRegisterReceiver(KE_MT_Mouse, &b);
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2})) << "absent receiver or list: no change";

    dispatcher.RegisterReceiver(KE_MT_Keyboard, &c);
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2, 3})) << "no duplicate check";
    dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &c);
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2})) << "first match only";
    EXPECT_TRUE(Deliver(dispatcher, journal, KE_MT_Mouse).empty()) << "lists are per type";
}

TEST(KE_Dispatcher, ListsGrowByDoublingAndShrinkNotBelowTwo)
{
    KE_Dispatcher dispatcher;
    Probe r[5] = {{0, nullptr}, {1, nullptr}, {2, nullptr}, {3, nullptr}, {4, nullptr}};
    const std::uint32_t expectedAfterAdd[5] = {2, 2, 4, 4, 8};
    for (int i = 0; i < 5; ++i)
    {
        dispatcher.RegisterReceiver(KE_MT_Window, &r[i]);
        EXPECT_EQ(dispatcher.GetReceiverCapacity(KE_MT_Window), expectedAfterAdd[i]) << "after " << i + 1;
    }
    // Counts 4, 3, 2, 1, 0 after each removal.
    const std::uint32_t expectedAfterRemove[5] = {8, 4, 4, 2, 2};
    for (int i = 0; i < 5; ++i)
    {
        dispatcher.UnRegisterReceiver(KE_MT_Window, &r[i]);
        EXPECT_EQ(dispatcher.GetReceiverCapacity(KE_MT_Window), expectedAfterRemove[i])
            << "removal " << i + 1;
    }
    EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_Window), 0u);
}

TEST(KE_Dispatcher, ChangesDuringADispatchFollowTheWalk)
{
    KE_Dispatcher dispatcher;
    std::vector<int> journal;
    Probe a(1, &journal), b(2, &journal), c(3, &journal), d(4, &journal);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &a);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &b);
    dispatcher.RegisterReceiver(KE_MT_Keyboard, &c);

    // a removes itself: c moves into slot 0 and is skipped for this message.
    a.m_OnReceive = [&] { dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &a); };
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{1, 2}));
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2}));

    // c (now first) registers d: d hears the same message.
    c.m_OnReceive = [&]
    {
        dispatcher.RegisterReceiver(KE_MT_Keyboard, &d);
        c.m_OnReceive = nullptr;
    };
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 2, 4}));

    // c removes b (slot 1): d moves into slot 1 and is reached next.
    c.m_OnReceive = [&] { dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &b); };
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 4}));

    // c removes d, the last one: the walk ends after c.
    c.m_OnReceive = [&] { dispatcher.UnRegisterReceiver(KE_MT_Keyboard, &d); };
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3}));

    // A receiver may dispatch from inside Receive.
    Probe inner(7, &journal);
    dispatcher.RegisterReceiver(KE_MT_Mouse, &inner);
    c.m_OnReceive = [&] { dispatcher.Dispatch(KE_MT_Mouse, KE_MST_MouseWheel, nullptr); };
    EXPECT_EQ(Deliver(dispatcher, journal), (std::vector<int>{3, 7}));
}

TEST(KE_Dispatcher, WorkerRegistersWhileTheMainThreadDispatches)
{
    constexpr int COUNT = 10000;
    KE_Dispatcher dispatcher;
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < COUNT; ++i)
        probes.push_back(std::make_unique<Probe>(i, nullptr));

    std::atomic<bool> dispatching{false};
    std::atomic<bool> done{false};
    std::thread worker(
        [&]
        {
            while (!dispatching)
            {
            }
            for (int i = 0; i < COUNT; ++i)
                dispatcher.RegisterReceiver(KE_MT_EditorCommand, probes[i].get());
            done = true;
        });
    int dispatches = 0;
    dispatching = true;
    while (!done)
    {
        dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
        ++dispatches;
    }
    worker.join();
    EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_EditorCommand), static_cast<std::uint32_t>(COUNT));

    dispatcher.Dispatch(KE_MT_EditorCommand, KE_MST_DeselectControlPoints, nullptr);
    for (int i = 0; i < COUNT; ++i)
    {
        ASSERT_GE(probes[i]->m_iReceived, 1) << "receiver " << i;
        ASSERT_LE(probes[i]->m_iReceived, dispatches + 1) << "receiver " << i;
    }
    // Registration order is kept: the first receiver heard at least as much as the last.
    EXPECT_GE(probes.front()->m_iReceived, probes.back()->m_iReceived);
}

TEST(KE_Dispatcher, AReceiverMayJoinAThreadThatIsRegistering)
{
    KE_Dispatcher dispatcher;
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 2000; ++i)
        probes.push_back(std::make_unique<Probe>(i, nullptr));

    std::atomic<bool> started{false};
    std::thread loader;
    Probe stopper(0, nullptr);
    // As the application stops the worker pool on a quit request while the load job registers.
    stopper.m_OnReceive = [&]
    {
        while (!started)
        {
        }
        loader.join();
    };
    dispatcher.RegisterReceiver(KE_MT_Application, &stopper);
    loader = std::thread(
        [&]
        {
            started = true;
            for (auto& probe : probes)
                dispatcher.RegisterReceiver(KE_MT_Keyboard, probe.get());
        });
    dispatcher.Dispatch(KE_MT_Application, KE_MST_QuitRequest, nullptr);
    EXPECT_FALSE(loader.joinable());
    EXPECT_EQ(dispatcher.GetReceiverCount(KE_MT_Keyboard), 2000u);
}
