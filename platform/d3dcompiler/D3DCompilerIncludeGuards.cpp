#include "platform/d3dcompiler/D3DCompilerIncludeGuards.h"

namespace d3dcompiler_internal
{

const std::string IncludeGuardDetector::s_sNone;

void IncludeGuardDetector::Add(Token eToken, std::string_view sValue)
{
    const bool bBlank = eToken == Token::Blank || eToken == Token::LineEnd;
    switch (m_eState)
    {
    case State::Start:
        m_eState = eToken == Token::IfNDef ? State::Name
                   : eToken == Token::If   ? State::Not
                   : bBlank                ? State::Start
                                           : State::NotGuarded;
        return;
    case State::Not:
    case State::Defined:
    case State::NameOrParen:
    case State::NameInParen:
    case State::RightParen:
    case State::Name:
        if (eToken == Token::Blank)
            return;
        if (m_eState == State::Not && eToken == Token::Not)
            m_eState = State::Defined;
        else if (m_eState == State::Defined && eToken == Token::Identifier && sValue == "defined")
            m_eState = State::NameOrParen;
        else if (m_eState == State::NameOrParen && eToken == Token::LeftParen)
            m_eState = State::NameInParen;
        else if (m_eState == State::RightParen && eToken == Token::RightParen)
            m_eState = State::RestOfLine;
        else if (eToken == Token::Identifier && (m_eState == State::Name || m_eState == State::NameOrParen ||
                                                 m_eState == State::NameInParen))
        {
            m_sGuard = sValue;
            m_eState = m_eState == State::NameInParen ? State::RightParen : State::RestOfLine;
        }
        else
            m_eState = State::NotGuarded;
        return;
    case State::RestOfLine:
        m_eState = eToken == Token::LineEnd ? State::Group
                   : eToken == Token::Blank ? m_eState
                                            : State::NotGuarded;
        return;
    case State::Group:
        if (eToken == Token::If || eToken == Token::IfDef || eToken == Token::IfNDef)
            ++m_uiDepth;
        else if (eToken == Token::EndIf && m_uiDepth > 0)
            --m_uiDepth;
        else if (eToken == Token::EndIf)
            m_eState = State::After;
        else if ((eToken == Token::ElseOrElif && m_uiDepth == 0) || eToken == Token::End)
            m_eState = State::NotGuarded;
        return;
    case State::After:
        m_eState = eToken == Token::End ? State::Guarded : bBlank ? m_eState : State::NotGuarded;
        return;
    case State::Guarded:
    case State::NotGuarded:
        return;
    }
}

} // namespace d3dcompiler_internal
