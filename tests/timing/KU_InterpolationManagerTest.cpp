#include "timing/KU_InterpolationManager.h"

#include "tests/support/TestEngine.h"
#include "timing/KB_LinearInterpolation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{

using Entry = std::pair<std::string, const KU_VertexInterpolation*>;

std::vector<Entry> Entries(const KB_GrowingArray<KB_Pair<KB_String, KU_VertexInterpolation*>>& list)
{
    std::vector<Entry> entries;
    for (std::uint32_t i = 0; i < list.GetNumMembers(); ++i)
        entries.emplace_back(list[i].first.GetBuffer(), list[i].second);
    return entries;
}

std::vector<Entry> Entries(const KU_InterpolationManager& registry)
{
    return Entries(registry.GetAllVertexInterpolations());
}

} // namespace

TEST(KU_InterpolationManager, KeepsOrderAndShrinksByTheArrayRule)
{
    KU_InterpolationManager registry;
    KB_LinearInterpolation a;
    KB_LinearInterpolation b;
    KB_LinearInterpolation c;
    registry.RegisterInterpolation("a.int", &a);
    registry.RegisterInterpolation("b.int", &b);
    registry.RegisterInterpolation("c.int", &c);
    EXPECT_EQ(registry.GetAllVertexInterpolations().GetCapacity(), 5u);

    registry.UnregisterInterpolation(&b);
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &a}, {"c.int", &c}}));
    EXPECT_EQ(registry.GetAllVertexInterpolations().GetCapacity(), 5u); // 2 of 5 is not under half

    registry.UnregisterInterpolation("absent.int");
    registry.UnregisterInterpolation(&b);
    EXPECT_EQ(Entries(registry).size(), 2u);

    registry.UnregisterInterpolation("a.int");
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"c.int", &c}}));
    EXPECT_EQ(registry.GetAllVertexInterpolations().GetCapacity(), 2u);
    registry.UnregisterInterpolation(&c); // empty: halved once more, not dropped
    EXPECT_EQ(registry.GetAllVertexInterpolations().GetCapacity(), 1u);
}

TEST(KU_InterpolationManager, PathRemovalTakesTheOlderEntryPointerRemovalTheOwnOne)
{
    KU_InterpolationManager registry;
    KB_LinearInterpolation older;
    KB_LinearInterpolation newer;
    registry.RegisterInterpolation("rail.int", &older);
    registry.RegisterInterpolation("rail.int", &newer);
    registry.UnregisterInterpolation("rail.int");
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"rail.int", &newer}}));

    registry.RegisterInterpolation("rail.int", &older);
    registry.UnregisterInterpolation(&older);
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"rail.int", &newer}}));
}

TEST(KU_InterpolationManager, DuplicatesAndRenamesGoByPointer)
{
    KU_InterpolationManager registry;
    KB_LinearInterpolation curve;
    KB_LinearInterpolation other;
    // The same curve under the same path is listed once; under another path once more.
    registry.RegisterInterpolation("a.int", &curve);
    registry.RegisterInterpolation("a.int", &curve);
    registry.RegisterInterpolation("a.int", &other);
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &curve}, {"a.int", &other}}));

    registry.RenameInterpolation(&curve, "a.int");
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &curve}, {"a.int", &other}}));
    registry.RenameInterpolation(&other, "b.int");
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &curve}, {"b.int", &other}}));
    KB_LinearInterpolation unlisted;
    registry.RenameInterpolation(&unlisted, "c.int");
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &curve}, {"b.int", &other}}));

    // The renamed entry's own path object passed back in changes nothing.
    registry.RenameInterpolation(&other, registry.GetAllVertexInterpolations()[1].first);
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"a.int", &curve}, {"b.int", &other}}));

    const auto copy = registry.CopyAllVertexInterpolations();
    EXPECT_EQ(Entries(copy), Entries(registry));
}

TEST(KU_InterpolationManager, ASerialTellsARegistrationFromALaterOneAtTheSameAddress)
{
    KU_InterpolationManager registry;
    KB_LinearInterpolation a;
    KB_LinearInterpolation b;
    EXPECT_EQ(registry.GetRegistrationSerial(&a), 0u);
    registry.RegisterInterpolation("a.int", &a);
    registry.RegisterInterpolation("b.int", &b);
    const std::uint64_t uiA = registry.GetRegistrationSerial(&a);
    EXPECT_NE(uiA, 0u);
    EXPECT_NE(registry.GetRegistrationSerial(&b), uiA);

    // A second path for the same curve, a rename and the loss of one of its entries keep it.
    registry.RegisterInterpolation("a2.int", &a);
    registry.RenameInterpolation(&a, "a3.int");
    registry.UnregisterInterpolation("a3.int");
    EXPECT_EQ(registry.GetRegistrationSerial(&a), uiA);

    // Gone, then listed again (as a new curve made where a freed one was would be): a new serial.
    registry.UnregisterInterpolation(&a);
    EXPECT_EQ(registry.GetRegistrationSerial(&a), 0u);
    registry.RegisterInterpolation("a.int", &a);
    EXPECT_NE(registry.GetRegistrationSerial(&a), 0u);
    EXPECT_NE(registry.GetRegistrationSerial(&a), uiA);
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"b.int", &b}, {"a.int", &a}}));
}

TEST(KU_InterpolationManager, DestroyedCurvesLeaveNoEntry)
{
    TestEngine engine;
    KU_InterpolationManager registry;
    engine->SetInterpolationManager(&registry);
    {
        KB_LinearInterpolation keeper(KB_String("rail.int"));
        {
            // Made with its path (registered) and registered again by its owner, as scenes do.
            KB_LinearInterpolation twice(KB_String("rail.int"));
            registry.RegisterInterpolation("rail.int", &twice);
            registry.RegisterInterpolation("alias.int", &twice);
            EXPECT_EQ(Entries(registry).size(), 3u);
        }
        EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"rail.int", &keeper}}));
    }
    EXPECT_TRUE(Entries(registry).empty());
}

TEST(KU_InterpolationManager, ConcurrentRegistrationAndRemoval)
{
    TestEngine engine;
    KU_InterpolationManager registry;
    engine->SetInterpolationManager(&registry);
    KB_LinearInterpolation survivor(KB_String("survivor.int"));

    constexpr int NUM_THREADS = 4;
    constexpr int NUM_ROUNDS = 300;
    std::atomic<bool> bStop{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < NUM_THREADS; ++t)
    {
        threads.emplace_back(
            [t]
            {
                // Built by appending: GCC 12 at -O3 misreads "t" + std::string as overlapping (-Wrestrict).
                std::string own = "t";
                own += std::to_string(t);
                own += ".int";
                std::vector<std::unique_ptr<KB_LinearInterpolation>> curves;
                for (int i = 0; i < NUM_ROUNDS; ++i)
                {
                    // Shared and own paths, renames, path removals of absent paths and destruction.
                    curves.push_back(std::make_unique<KB_LinearInterpolation>(
                        KB_String(i % 2 == 0 ? "shared.int" : own.c_str())));
                    if (i % 3 == 0)
                        curves.back()->SetFilePath(KB_String("renamed.int"));
                    if (i % 5 == 0)
                        KE_ApplicationManager::GetInstance()
                            ->GetInterpolationManger()
                            ->UnregisterInterpolation(KB_String("nobody.int"));
                    if (curves.size() > 8)
                        curves.erase(curves.begin() + (i % 8));
                }
            });
    }
    std::thread lister(
        [&]
        {
            while (!bStop.load())
            {
                const auto copy = registry.CopyAllVertexInterpolations();
                for (std::uint32_t i = 0; i < copy.GetNumMembers(); ++i)
                    EXPECT_NE(copy[i].second, nullptr);
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    bStop = true;
    lister.join();
    EXPECT_EQ(Entries(registry), (std::vector<Entry>{{"survivor.int", &survivor}}));
}
