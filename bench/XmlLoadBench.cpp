// XML loading of a 10 MB document whose elements each hold the same number of attributes, read
// from a file in a temporary folder through KU_XmlUtilities::LoadXmlDocument (expat's judgement of
// the text and TinyXML's parse). TinyXML compares each attribute with those before it on its
// element, so the time per byte grows with that number: 8 and 15 as in the engine's files (15 at
// most), 64 the most a loaded document can hold (MAX_ELEMENT_ATTRIBUTES), 256 the limit before it
// was lowered (refused now, at the first element, before TinyXML reads the text). The two-letter
// shape (`<e aa="" ab="" ...>`) packs the most attributes into the bytes and gives every name the
// same first letter as its neighbours, the dearest comparisons per byte. Japanese text in elements
// of two attributes, as UTF-8 and as Shift_JIS, whose characters of two bytes expat reads through a
// table worked out with iconv (once a process), as the parser reads them a byte at a time.

#include "bench/BenchFiles.h"
#include "framework/files/KF_DirectoryRepository.h"
#include "framework/files/KF_FileManager.h"
#include "framework/files/KU_XmlUtilities.h"

#include <benchmark/benchmark.h>
#include <tinyxml.h>

#include <cstdio>
#include <memory>
#include <string>

namespace
{

constexpr std::size_t DOCUMENT_BYTES = 10u << 20;

// At least DOCUMENT_BYTES of copies of sElement, inside one root, after the declaration.
std::string Document(const std::string& sElement, const char* pDeclaration = "<?xml version=\"1.0\"?>")
{
    std::string sText = std::string(pDeclaration) + "\n<r>\n";
    sText.reserve(DOCUMENT_BYTES + sElement.size() + 8);
    while (sText.size() < DOCUMENT_BYTES)
        sText += sElement;
    return sText + "</r>\n";
}

// An element holding iAttributes attributes a0="0" a1="1" ...
std::string NumberedElement(int iAttributes)
{
    std::string sElement = "<e";
    for (int i = 0; i < iAttributes; ++i)
        sElement += " a" + std::to_string(i) + "=\"" + std::to_string(i % 10) + "\"";
    return sElement + "/>\n";
}

// An element holding iAttributes empty attributes of distinct two-letter names: aa="" ab="" ...
std::string TwoLetterElement(int iAttributes)
{
    std::string sElement = "<e";
    for (int i = 0; i < iAttributes; ++i)
        sElement +=
            std::string(" ") + static_cast<char>('a' + i / 26) + static_cast<char>('a' + i % 26) + "=\"\"";
    return sElement + "/>\n";
}

void LoadDocument(benchmark::State& state, const std::string& sText)
{
    const std::string sFolder = benchfiles::MakeTempFolder();
    benchfiles::WriteFile(sFolder + "/doc.xml", sText.data(), sText.size());
    KF_FileManager files;
    files.AddRepository(new KF_DirectoryRepository(KB_String(sFolder.c_str())));
    bool bLoaded = false;
    for (auto _ : state)
    {
        std::unique_ptr<TiXmlDocument> pDocument(KU_XmlUtilities::LoadXmlDocument(&files, "doc.xml"));
        bLoaded = pDocument != nullptr;
        benchmark::DoNotOptimize(pDocument.get());
    }
    state.SetLabel(bLoaded ? "loaded" : "refused");
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sText.size()));
    std::remove((sFolder + "/doc.xml").c_str());
    std::remove(sFolder.c_str());
}
void BM_XmlLoad(benchmark::State& state)
{
    LoadDocument(state, Document(NumberedElement(static_cast<int>(state.range(0)))));
}
BENCHMARK(BM_XmlLoad)->Arg(8)->Arg(15)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond);

// 日本語 ("Japanese") in UTF-8 and in Shift_JIS.
const char* const JAPANESE[] = {"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", "\x93\xFA\x96\x7B\x8C\xEA"};

void BM_XmlLoadJapanese(benchmark::State& state)
{
    const bool bShiftJis = state.range(0) != 0;
    std::string sWords;
    for (int i = 0; i < 8; ++i)
        sWords += JAPANESE[bShiftJis ? 1 : 0];
    const std::string sElement = "<e a=\"" + sWords + "\" b=\"7\">" + sWords + sWords + "</e>\n";
    LoadDocument(state, Document(sElement, bShiftJis ? "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
                                                     : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
}
BENCHMARK(BM_XmlLoadJapanese)->ArgName("shift_jis")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_XmlLoadTwoLetterNames(benchmark::State& state)
{
    LoadDocument(state, Document(TwoLetterElement(static_cast<int>(state.range(0)))));
}
BENCHMARK(BM_XmlLoadTwoLetterNames)
    ->Arg(15)
    ->Arg(32)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond);

} // namespace
