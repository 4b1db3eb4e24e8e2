#include "platform/win32/WinSystem.h"
#include "platform/win32/Win32SystemControl.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <utility>

namespace
{

constexpr SIZE_T MIN_THREAD_STACK_BYTES = 1024 * 1024;

enum CallId
{
    CALL_CreateIoCompletionPort,
    CALL_PostQueuedCompletionStatus,
    CALL_GetQueuedCompletionStatus,
    CALL_CloseHandle,
    CALL_CreateThread,
    CALL_TerminateThread,
    CALL_WaitForSingleObject,
    CALL_CreateMutexA,
    CALL_ReleaseMutex,
    CALL_CreateSemaphoreA,
    CALL_ReleaseSemaphore,
    CALL_GetSystemInfo,
    CALL_Sleep,
    CALL_COUNT
};

constexpr std::array<const char*, CALL_COUNT> CALL_NAMES = {"CreateIoCompletionPort",
                                                            "PostQueuedCompletionStatus",
                                                            "GetQueuedCompletionStatus",
                                                            "CloseHandle",
                                                            "CreateThread",
                                                            "TerminateThread",
                                                            "WaitForSingleObject",
                                                            "CreateMutexA",
                                                            "ReleaseMutex",
                                                            "CreateSemaphoreA",
                                                            "ReleaseSemaphore",
                                                            "GetSystemInfo",
                                                            "Sleep"};

// Calls that FailNext may make fail.
constexpr std::array<CallId, 5> FAILABLE_CALLS = {CALL_CreateIoCompletionPort,
                                                  CALL_PostQueuedCompletionStatus, CALL_CreateThread,
                                                  CALL_CreateMutexA, CALL_CreateSemaphoreA};

int FindCall(const char* pName)
{
    if (pName == nullptr)
        return -1;
    for (int i = 0; i < CALL_COUNT; ++i)
        if (std::strcmp(CALL_NAMES[i], pName) == 0)
            return i;
    return -1;
}

// The call counts in shards of one cache line each; a thread counts in the shard it was given
// first, so threads making the same call (workers taking packets) do not contend for one counter.
constexpr std::size_t CALL_COUNT_SHARDS = 8;

struct alignas(64) CallCountShard
{
    std::array<std::atomic<unsigned>, CALL_COUNT> uiCounts{};
};

// Process-wide state of the stand-in; never destroyed, so static destructors elsewhere may still
// close their handles.
struct SystemState
{
    std::array<CallCountShard, CALL_COUNT_SHARDS> callCounts{};
    std::atomic<std::size_t> uiNextShard{0};
    std::array<std::atomic<bool>, CALL_COUNT> bFailNext{};
    std::atomic<DWORD> uiProcessorOverride{0};
    std::atomic<bool> bSleepSkipped{false};
    std::atomic<unsigned long long> uiSleptMilliseconds{0};
    std::atomic<unsigned> uiRunningThreads{0};
    std::atomic<DWORD> uiNextThreadId{0x104};
};

SystemState& State()
{
    static SystemState* s_pState = new SystemState;
    return *s_pState;
}

// Counts the call and answers whether a test asked it to fail now.
bool EnterCall(CallId eCall)
{
    SystemState& state = State();
    thread_local const std::size_t t_uiShard =
        state.uiNextShard.fetch_add(1, std::memory_order_relaxed) % CALL_COUNT_SHARDS;
    state.callCounts[t_uiShard].uiCounts[eCall].fetch_add(1, std::memory_order_relaxed);
    // Read first: a write on every call would make all threads contend for the flag.
    return state.bFailNext[eCall].load(std::memory_order_relaxed) && state.bFailNext[eCall].exchange(false);
}

enum class ObjectKind
{
    Port,
    Thread,
    Mutex,
    Semaphore
};

struct KernelObject
{
    explicit KernelObject(ObjectKind eKindIn) : eKind(eKindIn) {}
    virtual ~KernelObject() = default;

    const ObjectKind eKind;
    std::atomic<bool> bHandleClosed{false}; // set by CloseHandle; read by the handle caches
    std::mutex mLock;
    std::condition_variable cvChanged;
};

struct Packet
{
    DWORD uiBytes;
    ULONG_PTR uiKey;
    LPOVERLAPPED pOverlapped;
};

void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Rounds a taker polls an empty port before it blocks: packets posted in quick succession are
// then taken without a sleep and a wake-up each (a few microseconds at most).
constexpr int PORT_SPIN_ROUNDS = 1000;

// Tries the lock a while before blocking on it: a port's lock is held for a few instructions
// only, and a futex sleep and wake-up cost far more than waiting them out.
constexpr int LOCK_SPIN_ROUNDS = 200;

void LockSpinning(std::unique_lock<std::mutex>& lock)
{
    for (int i = 0; i < LOCK_SPIN_ROUNDS; ++i)
    {
        if (lock.try_lock())
            return;
        CpuRelax();
    }
    lock.lock();
}

// A completion port: packets in posting order in a list of fixed-size chunks, with one lock for
// posters (the tail) and another for takers (the head), so posting and taking do not contend with
// each other. A packet is published by the count of posted packets; takers compare it with the
// count taken, without a lock, to see whether anything is queued. Posting allocates only when a
// chunk fills and no emptied chunk is kept for reuse.
class PortObject : public KernelObject
{
public:
    enum class TakeResult
    {
        Taken,
        Empty,
        Closed
    };

    explicit PortObject(DWORD uiConcurrency)
        : KernelObject(ObjectKind::Port), m_uiConcurrency(uiConcurrency), m_pTail(new Chunk), m_pHead(m_pTail)
    {
    }

    ~PortObject() override
    {
        for (Chunk* pChunk = m_pHead; pChunk != nullptr;)
            delete std::exchange(pChunk, pChunk->pNext);
        delete m_pSpare.load();
    }

    PortObject(const PortObject&) = delete;
    PortObject& operator=(const PortObject&) = delete;

    // False when the port is closed.
    bool Post(const Packet& packet)
    {
        {
            std::unique_lock lock(m_TailLock, std::defer_lock);
            LockSpinning(lock);
            if (m_bClosed.load(std::memory_order_relaxed))
                return false;
            const std::uint64_t uiPosition = m_uiPosted.load(std::memory_order_relaxed);
            const std::size_t uiSlot = uiPosition % CHUNK_PACKETS;
            if (uiSlot == 0 && uiPosition != 0)
            {
                // The head has left a chunk only after its last packet, so a spare is free.
                Chunk* pNext = m_pSpare.exchange(nullptr, std::memory_order_acquire);
                if (pNext == nullptr)
                    pNext = new Chunk;
                pNext->pNext = nullptr;
                m_pTail->pNext = pNext;
                m_pTail = pNext;
            }
            m_pTail->packets[uiSlot] = packet;
            // Sequentially consistent with the sleepers' count below and in Take, so either the
            // poster sees a sleeper or the sleeper sees the packet.
            m_uiPosted.store(uiPosition + 1, std::memory_order_seq_cst);
        }
        if (m_uiSleepers.load(std::memory_order_seq_cst) > 0)
        {
            bool bWake = false;
            {
                // A sleeper holds the lock from its last look at the queue until it waits. One
                // wake-up per sleeper: a burst of posts does not signal one that is waking already
                // (it takes what it finds, and takers not sleeping find the rest).
                std::lock_guard lock(mLock);
                bWake = m_uiSleepers.load(std::memory_order_relaxed) > m_uiWakesPending;
                if (bWake)
                    ++m_uiWakesPending;
            }
            if (bWake)
                cvChanged.notify_one();
        }
        return true;
    }

    // Takes the oldest packet, waiting up to uiMilliseconds (INFINITE: no limit).
    TakeResult Take(Packet* pPacket, DWORD uiMilliseconds)
    {
        // A taker that loses a packet to another goes on polling within the same budget rather
        // than going to sleep, so the next post need not wake it.
        int iSpinLeft = uiMilliseconds != 0 ? PORT_SPIN_ROUNDS : 0;
        std::chrono::steady_clock::time_point deadline;
        bool bDeadlineSet = false;
        for (;;)
        {
            for (; iSpinLeft > 0 && !HasNewsForTakers(); --iSpinLeft)
                CpuRelax();
            const TakeResult eResult = TryTake(pPacket);
            if (eResult != TakeResult::Empty || uiMilliseconds == 0)
                return eResult;
            if (iSpinLeft > 0)
            {
                --iSpinLeft;
                continue;
            }
            if (!bDeadlineSet && uiMilliseconds != INFINITE)
            {
                deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(uiMilliseconds);
                bDeadlineSet = true;
            }
            std::unique_lock lock(mLock);
            m_uiSleepers.fetch_add(1, std::memory_order_seq_cst);
            // One wait at a time, never a waiting loop here: each return from a wait consumes a
            // pending wake-up, whether the packet it was for is still there or not.
            bool bTimedOut = false;
            if (!HasNewsForTakers())
            {
                if (uiMilliseconds == INFINITE)
                    cvChanged.wait(lock);
                else
                    bTimedOut = cvChanged.wait_until(lock, deadline) == std::cv_status::timeout;
            }
            m_uiSleepers.fetch_sub(1, std::memory_order_relaxed);
            if (m_uiWakesPending > 0)
                --m_uiWakesPending;
            if (bTimedOut && !HasNewsForTakers())
                return TakeResult::Empty;
        }
    }

    // Refuses later posts, drops the queued packets and wakes every waiter.
    void Close()
    {
        {
            std::lock_guard tailLock(m_TailLock);
            std::lock_guard headLock(m_HeadLock);
            m_bClosed.store(true, std::memory_order_seq_cst);
            for (Chunk* pChunk = m_pHead; pChunk != m_pTail;)
                delete std::exchange(pChunk, pChunk->pNext);
            m_pHead = m_pTail;
            m_uiTaken.store(m_uiPosted.load(std::memory_order_relaxed), std::memory_order_relaxed);
        }
        {
            std::lock_guard lock(mLock);
        }
        cvChanged.notify_all();
    }

private:
    static constexpr std::size_t CHUNK_PACKETS = 256;

    struct Chunk
    {
        std::array<Packet, CHUNK_PACKETS> packets;
        Chunk* pNext = nullptr;
    };

    // True when the port is closed or holds a packet; read without a lock.
    bool HasNewsForTakers() const
    {
        return m_bClosed.load(std::memory_order_seq_cst) ||
               m_uiTaken.load(std::memory_order_seq_cst) != m_uiPosted.load(std::memory_order_seq_cst);
    }

    TakeResult TryTake(Packet* pPacket)
    {
        if (m_bClosed.load(std::memory_order_acquire))
            return TakeResult::Closed;
        if (m_uiTaken.load(std::memory_order_relaxed) == m_uiPosted.load(std::memory_order_acquire))
            return TakeResult::Empty;
        std::unique_lock lock(m_HeadLock, std::defer_lock);
        LockSpinning(lock);
        if (m_bClosed.load(std::memory_order_relaxed))
            return TakeResult::Closed;
        const std::uint64_t uiPosition = m_uiTaken.load(std::memory_order_relaxed);
        if (uiPosition == m_uiPosted.load(std::memory_order_acquire))
            return TakeResult::Empty;
        const std::size_t uiSlot = uiPosition % CHUNK_PACKETS;
        if (uiSlot == 0 && uiPosition != 0)
        {
            // The poster linked the next chunk before publishing this packet and writes to the
            // old one no more; keep it for reuse.
            Chunk* pOld = std::exchange(m_pHead, m_pHead->pNext);
            delete m_pSpare.exchange(pOld, std::memory_order_acq_rel);
        }
        *pPacket = m_pHead->packets[uiSlot];
        m_uiTaken.store(uiPosition + 1, std::memory_order_seq_cst);
        return TakeResult::Taken;
    }

    [[maybe_unused]] const DWORD m_uiConcurrency; // kept, not enforced
    std::atomic<bool> m_bClosed{false};
    std::atomic<std::size_t> m_uiSleepers{0}; // takers waiting on cvChanged (changed under mLock)
    std::size_t m_uiWakesPending = 0;         // signals not yet taken by a sleeper (under mLock)

    // Each on its own cache line: takers poll the two counts, and the poster's lock and the
    // takers' lock should not move between processors with them.
    alignas(64) std::mutex m_TailLock;
    Chunk* m_pTail;                                       // guarded by m_TailLock
    alignas(64) std::atomic<std::uint64_t> m_uiPosted{0}; // written under m_TailLock

    alignas(64) std::mutex m_HeadLock;
    Chunk* m_pHead;                                      // guarded by m_HeadLock
    alignas(64) std::atomic<std::uint64_t> m_uiTaken{0}; // written under m_HeadLock

    alignas(64) std::atomic<Chunk*> m_pSpare{nullptr};
};

struct ThreadObject : KernelObject
{
    ThreadObject() : KernelObject(ObjectKind::Thread) {}
    LPTHREAD_START_ROUTINE pRoutine = nullptr;
    LPVOID pParameter = nullptr;
    DWORD uiId = 0;
    bool bFinished = false;
};

struct MutexObject : KernelObject
{
    MutexObject() : KernelObject(ObjectKind::Mutex) {}
    std::thread::id owner;
    DWORD uiRecursion = 0;
};

struct SemaphoreObject : KernelObject
{
    SemaphoreObject() : KernelObject(ObjectKind::Semaphore) {}
    LONG iCount = 0;
    LONG iMaximum = 0;
};

// Handle values step by 4 as on Windows and are never reused.
class HandleTable
{
public:
    HANDLE Add(std::shared_ptr<KernelObject> pObject)
    {
        std::unique_lock lock(m_mLock);
        const std::uintptr_t uiValue = m_uiNext;
        m_uiNext += 4;
        m_mObjects.emplace(uiValue, std::move(pObject));
        return reinterpret_cast<HANDLE>(uiValue);
    }

    std::shared_ptr<KernelObject> Find(HANDLE hHandle)
    {
        std::shared_lock lock(m_mLock);
        const auto it = m_mObjects.find(reinterpret_cast<std::uintptr_t>(hHandle));
        return it == m_mObjects.end() ? nullptr : it->second;
    }

    std::shared_ptr<KernelObject> Remove(HANDLE hHandle)
    {
        std::unique_lock lock(m_mLock);
        const auto it = m_mObjects.find(reinterpret_cast<std::uintptr_t>(hHandle));
        if (it == m_mObjects.end())
            return nullptr;
        std::shared_ptr<KernelObject> pObject = std::move(it->second);
        m_mObjects.erase(it);
        return pObject;
    }

    std::size_t Count()
    {
        std::shared_lock lock(m_mLock);
        return m_mObjects.size();
    }

private:
    std::shared_mutex m_mLock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> m_mObjects;
    std::uintptr_t m_uiNext = 0x1000;
};

HandleTable& Handles()
{
    static HandleTable* s_pTable = new HandleTable;
    return *s_pTable;
}

// Each thread keeps the objects of the last few handles it used, so the hot calls (posting and
// taking packets, locking) reach their object without touching the shared table or reference
// count. A cached object stays alive while cached; a closed handle is noticed by its flag.
constexpr std::size_t HANDLE_CACHE_SIZE = 4;

struct HandleCache
{
    std::array<std::uintptr_t, HANDLE_CACHE_SIZE> uiHandles{};
    std::array<std::shared_ptr<KernelObject>, HANDLE_CACHE_SIZE> pObjects;
    std::size_t uiNext = 0;
};

thread_local HandleCache t_handleCache;

// The object of an open handle, or null. The pointer stays valid until this thread's next
// look-up, which is never made inside one call.
KernelObject* LookUp(HANDLE hHandle)
{
    const auto uiHandle = reinterpret_cast<std::uintptr_t>(hHandle);
    HandleCache& cache = t_handleCache;
    for (std::size_t i = 0; i < HANDLE_CACHE_SIZE; ++i)
    {
        if (cache.uiHandles[i] == uiHandle && cache.pObjects[i] != nullptr)
        {
            if (!cache.pObjects[i]->bHandleClosed.load(std::memory_order_acquire))
                return cache.pObjects[i].get();
            cache.uiHandles[i] = 0;
            cache.pObjects[i].reset();
            return nullptr; // handle values are never reused, so the table cannot know it either
        }
    }
    std::shared_ptr<KernelObject> pObject = Handles().Find(hHandle);
    if (pObject == nullptr)
        return nullptr;
    const std::size_t uiSlot = cache.uiNext++ % HANDLE_CACHE_SIZE;
    cache.uiHandles[uiSlot] = uiHandle;
    cache.pObjects[uiSlot] = std::move(pObject);
    return cache.pObjects[uiSlot].get();
}

template <typename T>
T* FindObject(HANDLE hHandle, ObjectKind eKind)
{
    KernelObject* pObject = LookUp(hHandle);
    if (pObject == nullptr || pObject->eKind != eKind)
        return nullptr;
    return static_cast<T*>(pObject);
}

// Waits on the object's condition until pred holds; false on time-out.
template <typename Pred>
bool WaitUntil(KernelObject& object, std::unique_lock<std::mutex>& lock, DWORD uiMilliseconds, Pred pred)
{
    if (uiMilliseconds == INFINITE)
    {
        object.cvChanged.wait(lock, pred);
        return true;
    }
    return object.cvChanged.wait_for(lock, std::chrono::milliseconds(uiMilliseconds), pred);
}

thread_local DWORD t_uiThreadId = 0;

DWORD NewThreadId()
{
    return State().uiNextThreadId.fetch_add(4);
}

void* ThreadEntry(void* pArgument)
{
    std::shared_ptr<ThreadObject> pThread(std::move(*static_cast<std::shared_ptr<ThreadObject>*>(pArgument)));
    delete static_cast<std::shared_ptr<ThreadObject>*>(pArgument);
    t_uiThreadId = pThread->uiId;
    pThread->pRoutine(pThread->pParameter);
    {
        std::lock_guard lock(pThread->mLock);
        pThread->bFinished = true;
        State().uiRunningThreads.fetch_sub(1);
    }
    pThread->cvChanged.notify_all();
    return nullptr;
}

SIZE_T ChooseStackSize(pthread_attr_t& attr, SIZE_T uiRequested)
{
    size_t uiDefault = 0;
    pthread_attr_getstacksize(&attr, &uiDefault);
    SIZE_T uiSize = std::max({uiRequested, MIN_THREAD_STACK_BYTES, static_cast<SIZE_T>(uiDefault)});
    const long iPage = sysconf(_SC_PAGESIZE);
    const SIZE_T uiPage = iPage > 0 ? static_cast<SIZE_T>(iPage) : 4096;
    return (uiSize + uiPage - 1) / uiPage * uiPage;
}

} // namespace

HANDLE CreateIoCompletionPort(HANDLE FileHandle, HANDLE ExistingCompletionPort, ULONG_PTR /*CompletionKey*/,
                              DWORD NumberOfConcurrentThreads)
{
    if (EnterCall(CALL_CreateIoCompletionPort))
        return nullptr;
    if (FileHandle != INVALID_HANDLE_VALUE || ExistingCompletionPort != nullptr)
        return nullptr;
    return Handles().Add(std::make_shared<PortObject>(NumberOfConcurrentThreads));
}

BOOL PostQueuedCompletionStatus(HANDLE CompletionPort, DWORD dwNumberOfBytesTransferred,
                                ULONG_PTR dwCompletionKey, LPOVERLAPPED lpOverlapped)
{
    if (EnterCall(CALL_PostQueuedCompletionStatus))
        return FALSE;
    PortObject* pPort = FindObject<PortObject>(CompletionPort, ObjectKind::Port);
    if (pPort == nullptr)
        return FALSE;
    return pPort->Post(Packet{dwNumberOfBytesTransferred, dwCompletionKey, lpOverlapped}) ? TRUE : FALSE;
}

BOOL GetQueuedCompletionStatus(HANDLE CompletionPort, LPDWORD lpNumberOfBytesTransferred,
                               PULONG_PTR lpCompletionKey, LPOVERLAPPED* lpOverlapped, DWORD dwMilliseconds)
{
    EnterCall(CALL_GetQueuedCompletionStatus);
    if (lpOverlapped != nullptr)
        *lpOverlapped = nullptr;
    PortObject* pPort = FindObject<PortObject>(CompletionPort, ObjectKind::Port);
    if (pPort == nullptr)
        return FALSE;
    Packet packet{};
    if (pPort->Take(&packet, dwMilliseconds) != PortObject::TakeResult::Taken)
        return FALSE;
    if (lpNumberOfBytesTransferred != nullptr)
        *lpNumberOfBytesTransferred = packet.uiBytes;
    if (lpCompletionKey != nullptr)
        *lpCompletionKey = packet.uiKey;
    if (lpOverlapped != nullptr)
        *lpOverlapped = packet.pOverlapped;
    return TRUE;
}

BOOL CloseHandle(HANDLE hObject)
{
    EnterCall(CALL_CloseHandle);
    std::shared_ptr<KernelObject> pObject = Handles().Remove(hObject);
    if (pObject == nullptr)
        return FALSE;
    pObject->bHandleClosed.store(true, std::memory_order_release);
    if (pObject->eKind == ObjectKind::Port)
        static_cast<PortObject&>(*pObject).Close();
    return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, SIZE_T dwStackSize,
                    LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags,
                    LPDWORD lpThreadId)
{
    if (EnterCall(CALL_CreateThread))
        return nullptr;
    if (lpStartAddress == nullptr || dwCreationFlags != 0)
        return nullptr;
    auto pThread = std::make_shared<ThreadObject>();
    pThread->pRoutine = lpStartAddress;
    pThread->pParameter = lpParameter;
    pThread->uiId = NewThreadId();

    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return nullptr;
    bool bAttrOk = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0;
    bAttrOk = bAttrOk && pthread_attr_setstacksize(&attr, ChooseStackSize(attr, dwStackSize)) == 0;
    if (!bAttrOk)
    {
        pthread_attr_destroy(&attr);
        return nullptr;
    }

    // The handle exists before the thread runs, so the routine may already wait on or close it.
    HANDLE hThread = Handles().Add(pThread);
    State().uiRunningThreads.fetch_add(1);
    auto* pArgument = new std::shared_ptr<ThreadObject>(pThread);
    pthread_t threadId;
    const int iResult = pthread_create(&threadId, &attr, &ThreadEntry, pArgument);
    pthread_attr_destroy(&attr);
    if (iResult != 0)
    {
        delete pArgument;
        State().uiRunningThreads.fetch_sub(1);
        Handles().Remove(hThread);
        return nullptr;
    }
    if (lpThreadId != nullptr)
        *lpThreadId = pThread->uiId;
    return hThread;
}

BOOL TerminateThread(HANDLE hThread, DWORD /*dwExitCode*/)
{
    EnterCall(CALL_TerminateThread);
    ThreadObject* pThread = FindObject<ThreadObject>(hThread, ObjectKind::Thread);
    if (pThread == nullptr)
        return FALSE;
    std::lock_guard lock(pThread->mLock);
    return pThread->bFinished ? TRUE : FALSE;
}

DWORD GetCurrentThreadId()
{
    if (t_uiThreadId == 0)
        t_uiThreadId = NewThreadId();
    return t_uiThreadId;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    EnterCall(CALL_WaitForSingleObject);
    KernelObject* pObject = LookUp(hHandle);
    if (pObject == nullptr)
        return WAIT_FAILED;
    std::unique_lock lock(pObject->mLock);
    switch (pObject->eKind)
    {
    case ObjectKind::Thread:
    {
        auto& thread = static_cast<ThreadObject&>(*pObject);
        return WaitUntil(thread, lock, dwMilliseconds, [&] { return thread.bFinished; }) ? WAIT_OBJECT_0
                                                                                         : WAIT_TIMEOUT;
    }
    case ObjectKind::Mutex:
    {
        auto& mutex = static_cast<MutexObject&>(*pObject);
        const std::thread::id self = std::this_thread::get_id();
        if (mutex.uiRecursion > 0 && mutex.owner == self)
        {
            ++mutex.uiRecursion;
            return WAIT_OBJECT_0;
        }
        if (!WaitUntil(mutex, lock, dwMilliseconds, [&] { return mutex.uiRecursion == 0; }))
            return WAIT_TIMEOUT;
        mutex.owner = self;
        mutex.uiRecursion = 1;
        return WAIT_OBJECT_0;
    }
    case ObjectKind::Semaphore:
    {
        auto& semaphore = static_cast<SemaphoreObject&>(*pObject);
        if (!WaitUntil(semaphore, lock, dwMilliseconds, [&] { return semaphore.iCount > 0; }))
            return WAIT_TIMEOUT;
        --semaphore.iCount;
        return WAIT_OBJECT_0;
    }
    case ObjectKind::Port:
        break;
    }
    return WAIT_FAILED;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner, LPCSTR lpName)
{
    if (EnterCall(CALL_CreateMutexA) || lpName != nullptr)
        return nullptr;
    auto pMutex = std::make_shared<MutexObject>();
    if (bInitialOwner)
    {
        pMutex->owner = std::this_thread::get_id();
        pMutex->uiRecursion = 1;
    }
    return Handles().Add(std::move(pMutex));
}

BOOL ReleaseMutex(HANDLE hMutex)
{
    EnterCall(CALL_ReleaseMutex);
    MutexObject* pMutex = FindObject<MutexObject>(hMutex, ObjectKind::Mutex);
    if (pMutex == nullptr)
        return FALSE;
    {
        std::lock_guard lock(pMutex->mLock);
        if (pMutex->uiRecursion == 0 || pMutex->owner != std::this_thread::get_id())
            return FALSE;
        if (--pMutex->uiRecursion > 0)
            return TRUE;
        pMutex->owner = std::thread::id();
    }
    pMutex->cvChanged.notify_one();
    return TRUE;
}

HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES /*lpSemaphoreAttributes*/, LONG lInitialCount,
                        LONG lMaximumCount, LPCSTR lpName)
{
    if (EnterCall(CALL_CreateSemaphoreA) || lpName != nullptr)
        return nullptr;
    if (lMaximumCount <= 0 || lInitialCount < 0 || lInitialCount > lMaximumCount)
        return nullptr;
    auto pSemaphore = std::make_shared<SemaphoreObject>();
    pSemaphore->iCount = lInitialCount;
    pSemaphore->iMaximum = lMaximumCount;
    return Handles().Add(std::move(pSemaphore));
}

BOOL ReleaseSemaphore(HANDLE hSemaphore, LONG lReleaseCount, LPLONG lpPreviousCount)
{
    EnterCall(CALL_ReleaseSemaphore);
    SemaphoreObject* pSemaphore = FindObject<SemaphoreObject>(hSemaphore, ObjectKind::Semaphore);
    if (pSemaphore == nullptr || lReleaseCount < 1)
        return FALSE;
    {
        std::lock_guard lock(pSemaphore->mLock);
        if (lReleaseCount > pSemaphore->iMaximum - pSemaphore->iCount)
            return FALSE;
        if (lpPreviousCount != nullptr)
            *lpPreviousCount = pSemaphore->iCount;
        pSemaphore->iCount += lReleaseCount;
    }
    pSemaphore->cvChanged.notify_all();
    return TRUE;
}

void GetSystemInfo(LPSYSTEM_INFO lpSystemInfo)
{
    EnterCall(CALL_GetSystemInfo);
    if (lpSystemInfo == nullptr)
        return;
    DWORD uiProcessors = State().uiProcessorOverride.load();
    if (uiProcessors == 0)
    {
        const long iOnline = sysconf(_SC_NPROCESSORS_ONLN);
        uiProcessors = iOnline > 0 ? static_cast<DWORD>(iOnline) : 1;
    }
    const long iPage = sysconf(_SC_PAGESIZE);
    *lpSystemInfo = SYSTEM_INFO{};
    lpSystemInfo->wProcessorArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
    lpSystemInfo->dwPageSize = iPage > 0 ? static_cast<DWORD>(iPage) : 4096;
    lpSystemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x10000});
    lpSystemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(std::uintptr_t{0x7FFFFFFEFFFF});
    lpSystemInfo->dwActiveProcessorMask =
        uiProcessors >= 64 ? ~DWORD_PTR{0} : ((DWORD_PTR{1} << uiProcessors) - 1);
    lpSystemInfo->dwNumberOfProcessors = uiProcessors;
    lpSystemInfo->dwProcessorType = 8664; // PROCESSOR_AMD_X8664
    lpSystemInfo->dwAllocationGranularity = 65536;
    lpSystemInfo->wProcessorLevel = 6;
}

void Sleep(DWORD dwMilliseconds)
{
    EnterCall(CALL_Sleep);
    SystemState& state = State();
    state.uiSleptMilliseconds.fetch_add(dwMilliseconds);
    if (state.bSleepSkipped.load())
        return;
    if (dwMilliseconds == 0)
    {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

namespace Win32SystemControl
{

void SetProcessorCount(DWORD uiCount)
{
    State().uiProcessorOverride.store(uiCount);
}

bool FailNext(const char* pCallName)
{
    const int iCall = FindCall(pCallName);
    if (iCall < 0 || std::find(FAILABLE_CALLS.begin(), FAILABLE_CALLS.end(), iCall) == FAILABLE_CALLS.end())
        return false;
    State().bFailNext[iCall].store(true);
    return true;
}

unsigned GetCallCount(const char* pCallName)
{
    const int iCall = FindCall(pCallName);
    if (iCall < 0)
        return 0;
    unsigned uiTotal = 0;
    for (const CallCountShard& shard : State().callCounts)
        uiTotal += shard.uiCounts[iCall].load();
    return uiTotal;
}

std::size_t GetOpenHandleCount()
{
    return Handles().Count();
}

unsigned GetRunningThreadCount()
{
    return State().uiRunningThreads.load();
}

void SetSleepSkipped(bool bSkipped)
{
    State().bSleepSkipped.store(bSkipped);
}

unsigned long long GetSleptMilliseconds()
{
    return State().uiSleptMilliseconds.load();
}

void Reset()
{
    SystemState& state = State();
    for (CallCountShard& shard : state.callCounts)
        for (std::atomic<unsigned>& uiCount : shard.uiCounts)
            uiCount.store(0);
    for (std::atomic<bool>& bFail : state.bFailNext)
        bFail.store(false);
    state.uiProcessorOverride.store(0);
    state.bSleepSkipped.store(false);
    state.uiSleptMilliseconds.store(0);
}

} // namespace Win32SystemControl
