#pragma once
// Drops the caller's reference on a COM-style object (anything with Release()) and nulls the
// pointer; nothing for a null pointer. For the owners of device objects, in their documented
// release order.
template <class T>
void KR_ReleaseAndNull(T*& p)
{
    if (p != nullptr)
    {
        p->Release();
        p = nullptr;
    }
}
