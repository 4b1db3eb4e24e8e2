#pragma once
// A function pointer with its arguments, held by value (a KB_String argument is copied), to be
// called later on a worker thread through KT_RunAsync.

template <typename R, typename A1>
struct KT_BindStruct1
{
    using ResultType = R;

    R (*m_pFunction)(A1);
    A1 m_oArgument1;

    R Call() const { return m_pFunction(m_oArgument1); }
};

template <typename R, typename A1, typename A2, typename A3>
struct KT_BindStruct3
{
    using ResultType = R;

    R (*m_pFunction)(A1, A2, A3);
    A1 m_oArgument1;
    A2 m_oArgument2;
    A3 m_oArgument3;

    R Call() const { return m_pFunction(m_oArgument1, m_oArgument2, m_oArgument3); }
};
