#pragma once
// Futures of jobs on the worker pool, their job records and KT_RunAsync. Only void results are
// used. The caller owns the future KT_RunAsync returns and deletes it; deleting it before the
// job has run does not cancel the job, which still runs once on a worker.

#include "framework/threads/KT_FutureBase.h"
#include "framework/threads/KT_ThreadPool.h"

#include <type_traits>

template <typename T>
class KT_Future;

template <>
class KT_Future<void> : public KT_FutureBase
{
public:
    // Job record of a future without result; adds nothing to the base record.
    class KT_FutureResultData : public KT_FutureBase::KT_FutureBaseData
    {
    };

    // Takes over the record's first reference; pData may be null (Wait then answers false).
    explicit KT_Future(KT_FutureResultData* pData);
    ~KT_Future() override; // gives back the future's reference to the record

    // Returns once the job is done: a job still queued runs on the calling thread, a running
    // one is waited for. False only without a job record.
    bool Wait();
};

// The record of one bound call: B is a bind structure (KT_BindStruct1, KT_BindStruct3), F the
// future type whose record it extends.
template <typename B, typename F>
class KT_FutureFunctorData : public F::KT_FutureResultData
{
public:
    explicit KT_FutureFunctorData(const B& bind) : m_oBind(bind) {}

    void Run() override
    {
        if (!this->Claim())
            return;
        m_oBind.Call();
        this->Finish();
    }

private:
    B m_oBind; // the function and a copy of its arguments
};

// Queues a copy of the bound call on the worker pool and returns its future, which the caller
// owns. Never fails visibly: on a stopped pool the job stays queued on the future alone, and
// Wait runs it on the waiting thread.
template <typename B>
KT_Future<void>* KT_RunAsync(const B& bind)
{
    static_assert(std::is_void_v<typename B::ResultType>, "only jobs without result are supported");
    auto* pData = new KT_FutureFunctorData<B, KT_Future<void>>(bind);
    auto* pFuture = new KT_Future<void>(pData);
    KT_ThreadPool::PostJob(pData);
    return pFuture;
}
