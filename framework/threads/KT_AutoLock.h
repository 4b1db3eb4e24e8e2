#pragma once
// Scoped hold of a KT_Mutex: locks in the constructor, unlocks in the destructor. A null mutex
// holds nothing. Lives on one thread's stack.

class KT_Mutex;

class KT_AutoLock
{
public:
    explicit KT_AutoLock(KT_Mutex* pMutex); // pMutex not owned, may be null, must outlive this
    ~KT_AutoLock();

    KT_AutoLock(const KT_AutoLock&) = delete;
    KT_AutoLock& operator=(const KT_AutoLock&) = delete;

private:
    KT_Mutex* m_pMutex = nullptr; // not owned; null when nothing is held
};
