#include "platform/d3dcompiler/D3DCompilerPreprocessor.h"

#include <boost/wave.hpp>
#include <boost/wave/cpplexer/cpp_lex_iterator.hpp>
#include <boost/wave/cpplexer/cpp_lex_token.hpp>
#include <boost/wave/preprocessing_hooks.hpp>

#include <algorithm>
#include <mutex>

namespace d3dcompiler_internal
{

namespace
{

// What the include policy of the compilation running on this thread needs. Wave builds its
// iteration contexts itself, so they find it here rather than through an argument.
struct IncludeState
{
    ID3DInclude* pInclude = nullptr;
    std::vector<const void*> vOpen; // data of the files being read, the source itself first
    bool bNextIsSystem = false;     // the directive being handled used <name>
    std::string sFailedInclude;     // the include that could not be opened
};

thread_local IncludeState* t_pState = nullptr;

// Reads an include through the caller's ID3DInclude. The file stays open while Wave reads it
// (its data is the parent of the includes it makes) and is closed when Wave drops its context.
struct IncludeInputPolicy
{
    template <typename IterContextT>
    class inner
    {
    public:
        inner() = default;
        inner(const inner&) = delete;
        inner& operator=(const inner&) = delete;
        ~inner()
        {
            IncludeState* pState = t_pState;
            if (m_pOpened == nullptr || pState == nullptr)
                return;
            auto it = std::find(pState->vOpen.rbegin(), pState->vOpen.rend(), m_pOpened);
            if (it != pState->vOpen.rend())
                pState->vOpen.erase(std::next(it).base());
            pState->pInclude->Close(m_pOpened);
        }

        template <typename PositionT>
        static void init_iterators(IterContextT& iterCtx, const PositionT& actPos,
                                   boost::wave::language_support language)
        {
            using iterator_type = typename IterContextT::iterator_type;
            IncludeState* pState = t_pState;
            const void* pData = nullptr;
            UINT uiBytes = 0;
            const bool bOpened =
                pState != nullptr && pState->pInclude != nullptr &&
                SUCCEEDED(pState->pInclude->Open(
                    pState->bNextIsSystem ? D3D_INCLUDE_SYSTEM : D3D_INCLUDE_LOCAL, iterCtx.filename.c_str(),
                    pState->vOpen.empty() ? nullptr : pState->vOpen.back(), &pData, &uiBytes));
            if (bOpened && pData == nullptr && uiBytes != 0)
                pState->pInclude->Close(pData);
            if (!bOpened || (pData == nullptr && uiBytes != 0))
            {
                if (pState != nullptr)
                    pState->sFailedInclude = iterCtx.filename.c_str();
                BOOST_WAVE_THROW_CTX(iterCtx.ctx, boost::wave::preprocess_exception, bad_include_file,
                                     iterCtx.filename.c_str(), actPos);
                return;
            }
            iterCtx.m_pOpened = pData;
            pState->vOpen.push_back(pData);
            iterCtx.m_sText.assign(static_cast<const char*>(pData), uiBytes);
            if (iterCtx.m_sText.empty() || iterCtx.m_sText.back() != '\n')
                iterCtx.m_sText += '\n';
            iterCtx.first = iterator_type(iterCtx.m_sText.begin(), iterCtx.m_sText.end(),
                                          PositionT(iterCtx.filename), language);
            iterCtx.last = iterator_type();
        }

    private:
        const void* m_pOpened = nullptr;
        std::string m_sText;
    };
};

// Every include name is handed to the ID3DInclude as written: no search path, no file system.
class IncludeHooks : public boost::wave::context_policies::default_preprocessing_hooks
{
public:
    template <typename ContextT>
    bool locate_include_file(ContextT&, std::string& sFilePath, bool bIsSystem, const char*,
                             std::string& sDirPath, std::string& sNativeName)
    {
        if (t_pState != nullptr)
            t_pState->bNextIsSystem = bIsSystem;
        sDirPath.clear();
        sNativeName = sFilePath;
        return true;
    }
};

using Token = boost::wave::cpplexer::lex_token<>;
using LexIterator = boost::wave::cpplexer::lex_iterator<Token>;
using Context = boost::wave::context<std::string::iterator, LexIterator, IncludeInputPolicy, IncludeHooks>;

// Boost.Wave's grammars keep static parser state that is not safe to share between threads,
// so one preprocessing runs at a time.
std::mutex s_mutex;

// The library's category macro mixes two enumerations, which newer compilers warn about.
bool InCategory(boost::wave::token_id id, boost::wave::token_category category)
{
    const auto uiMask = static_cast<unsigned>(boost::wave::TokenTypeMask);
    return (static_cast<unsigned>(id) & uiMask) == (static_cast<unsigned>(category) & uiMask);
}

int ErrorCodeOf(const boost::wave::cpp_exception& e)
{
    if (const auto* pPre = dynamic_cast<const boost::wave::preprocess_exception*>(&e))
    {
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::bad_include_file)
            return 1507;
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::error_directive)
            return 1503;
    }
    return 1000;
}

std::string DescriptionOf(const boost::wave::cpp_exception& e, const IncludeState& state)
{
    if (const auto* pPre = dynamic_cast<const boost::wave::preprocess_exception*>(&e))
        if (pPre->get_errorcode() == boost::wave::preprocess_exception::bad_include_file)
            return "failed to open source file: '" + state.sFailedInclude + "'";
    return e.description();
}

} // namespace

std::string FormatError(const std::string& sFile, std::uint32_t uiLine, std::uint32_t uiColumn, int iCode,
                        const std::string& sText)
{
    char code[16];
    std::snprintf(code, sizeof code, "X%04d", iCode);
    return sFile + "(" + std::to_string(uiLine) + "," + std::to_string(uiColumn) + "): error " + code + ": " +
           sText + "\n";
}

bool Preprocess(const char* pSource, std::size_t uiSize, const char* pSourceName,
                const D3D_SHADER_MACRO* pDefines, ID3DInclude* pInclude, PreprocessedSource* pOut,
                std::string* pErrors)
{
    const std::string sName = pSourceName != nullptr && pSourceName[0] != '\0' ? pSourceName : "<Unknown>";
    std::string sSource(pSource != nullptr ? pSource : "", pSource != nullptr ? uiSize : 0);
    if (sSource.empty() || sSource.back() != '\n')
        sSource += '\n';

    std::lock_guard<std::mutex> lock(s_mutex);
    IncludeState state;
    state.pInclude = pInclude;
    state.vOpen.push_back(pSource);
    t_pState = &state;
    PreprocessedSource out;
    bool bOk = true;
    // Wave names the main file by its absolute path; errors and tokens show the caller's name.
    std::string sWaveName;
    try
    {
        Context ctx(sSource.begin(), sSource.end(), sName.c_str());
        ctx.set_language(boost::wave::language_support(boost::wave::support_c99 |
                                                       boost::wave::support_option_insert_whitespace));
        ctx.set_max_include_nesting_depth(MAX_INCLUDE_DEPTH);
        for (const D3D_SHADER_MACRO* pMacro = pDefines; pMacro != nullptr && pMacro->Name != nullptr;
             ++pMacro)
        {
            std::string sDefinition = pMacro->Name;
            sDefinition += '=';
            if (pMacro->Definition != nullptr)
                sDefinition += pMacro->Definition;
            if (!ctx.add_macro_definition(sDefinition))
            {
                *pErrors += FormatError(sName, 1, 1, 1000, "invalid macro definition: '" + sDefinition + "'");
                bOk = false;
            }
        }
        if (bOk)
        {
            sWaveName = sName;
            if (sName != "<Unknown>")
                sWaveName = boost::wave::util::complete_path(boost::filesystem::path(sName)).string();
            Context::iterator_type it = ctx.begin();
            const Context::iterator_type end = ctx.end();
            while (it != end)
            {
                try
                {
                    const Token& token = *it;
                    const boost::wave::token_id id = boost::wave::token_id(token);
                    out.Text += token.get_value().c_str();
                    if (!InCategory(id, boost::wave::WhiteSpaceTokenType) &&
                        !InCategory(id, boost::wave::EOLTokenType) &&
                        !InCategory(id, boost::wave::EOFTokenType))
                    {
                        const auto& position = token.get_position();
                        std::string sFile = position.get_file().c_str();
                        out.Tokens.push_back({token.get_value().c_str(), sFile == sWaveName ? sName : sFile,
                                              static_cast<std::uint32_t>(position.get_line()),
                                              static_cast<std::uint32_t>(position.get_column())});
                    }
                    ++it;
                }
                catch (const boost::wave::cpp_exception& e)
                {
                    // Warnings (a missing line break at the end, #warning) let preprocessing go on.
                    if (!e.is_recoverable() || e.get_severity() >= boost::wave::util::severity_error)
                        throw;
                }
            }
        }
    }
    catch (const boost::wave::cpp_exception& e)
    {
        const std::string sFile = e.file_name() == sWaveName || sWaveName.empty() ? sName : e.file_name();
        *pErrors +=
            FormatError(sFile, static_cast<std::uint32_t>(e.line_no()),
                        static_cast<std::uint32_t>(e.column_no()), ErrorCodeOf(e), DescriptionOf(e, state));
        bOk = false;
    }
    catch (const boost::wave::cpplexer::lexing_exception& e)
    {
        const std::string sFile = e.file_name() == sWaveName || sWaveName.empty() ? sName : e.file_name();
        *pErrors += FormatError(sFile, static_cast<std::uint32_t>(e.line_no()),
                                static_cast<std::uint32_t>(e.column_no()), 1000, e.description());
        bOk = false;
    }
    catch (const std::exception& e)
    {
        *pErrors += FormatError(sName, 1, 1, 1000, std::string("preprocessing failed: ") + e.what());
        bOk = false;
    }
    t_pState = nullptr;
    if (bOk)
        *pOut = std::move(out);
    return bOk;
}

} // namespace d3dcompiler_internal
