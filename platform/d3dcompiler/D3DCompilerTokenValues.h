#pragma once
// Internal to the HLSL compiler stand-in's preprocessor, which includes it after the library's
// headers and before any lexer is made: the table of the spellings of the library's tokens, shared
// by the lexers of a thread.

#include <boost/wave/cpplexer/cpp_lex_token.hpp>
#include <boost/wave/cpplexer/token_cache.hpp>
#include <boost/wave/token_ids.hpp>

#include <vector>

namespace boost::wave::cpplexer
{

// The library's lexer gives a punctuator or keyword the spelling of its kind from this table. The
// library, built thread-safe, makes the table for each lexer it makes: a string of each of some 200
// kinds, about 200 allocations and 100,000 instructions, for a lexer that often reads one token
// (what a paste makes, the text of a _Pragma operator). Here each thread makes it once. A token
// shares its spelling with the table, and the library's strings count their sharers without
// atomics: the table is the thread's own, and no token of it is used on another thread (one
// preprocessing runs on one thread and drops its tokens before it returns).
template <>
class token_cache<lex_token<>::string_type>
{
public:
    using string_type = lex_token<>::string_type;

    token_cache() : m_pValues(&Values()) {}

    const string_type& get_token_value(token_id id) const
    {
        return (*m_pValues)[BASEID_FROM_TOKEN(id) - T_FIRST_TOKEN];
    }

private:
    static const std::vector<string_type>& Values()
    {
        thread_local const std::vector<string_type> vValues = []()
        {
            std::vector<string_type> v;
            v.reserve(T_LAST_TOKEN - T_FIRST_TOKEN);
            for (unsigned int i = T_FIRST_TOKEN; i < T_LAST_TOKEN; ++i)
                v.emplace_back(boost::wave::get_token_value(token_id(i)));
            return v;
        }();
        return vValues;
    }

    const std::vector<string_type>* m_pValues; // the thread's table, not owned
};

} // namespace boost::wave::cpplexer
