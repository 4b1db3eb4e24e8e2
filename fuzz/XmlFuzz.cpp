// Fuzzes XML loading: the bytes are a file that KU_XmlUtilities::LoadXmlDocument reads through a
// file manager over a memory repository. A document that loads is walked (every element, attribute
// and text) and printed.

#include "framework/files/KU_XmlUtilities.h"
#include "tests/support/MemoryFiles.h"

#include <tinyxml.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace
{

const char* const PATH = "Assets/fuzz.xml";

// Walks the tree without recursion, so depth costs no stack here.
std::size_t WalkDocument(const TiXmlDocument& document)
{
    std::size_t uiTotal = 0;
    const TiXmlNode* pNode = document.FirstChild();
    while (pNode != nullptr)
    {
        uiTotal += std::strlen(pNode->Value());
        if (const TiXmlElement* pElement = pNode->ToElement())
        {
            for (const TiXmlAttribute* pAttribute = pElement->FirstAttribute(); pAttribute != nullptr;
                 pAttribute = pAttribute->Next())
            {
                uiTotal += std::strlen(pAttribute->Name()) + std::strlen(pAttribute->Value());
            }
            if (const char* pText = pElement->GetText())
                uiTotal += std::strlen(pText);
        }
        if (pNode->FirstChild() != nullptr)
        {
            pNode = pNode->FirstChild();
            continue;
        }
        while (pNode != nullptr && pNode->NextSibling() == nullptr)
            pNode = pNode->Parent() != &document ? pNode->Parent() : nullptr;
        if (pNode != nullptr)
            pNode = pNode->NextSibling();
    }
    return uiTotal;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t uiSize)
{
    static MemoryFiles* s_pFiles = new MemoryFiles(false); // kept until the process ends
    MemoryRepository* pRepository = s_pFiles->GetRepository();
    pRepository->SetFile(PATH, std::string(reinterpret_cast<const char*>(pData), uiSize));
    TiXmlDocument* pDocument = KU_XmlUtilities::LoadXmlDocument(s_pFiles->Get(), KB_String(PATH));
    if (pDocument != nullptr)
    {
        WalkDocument(*pDocument);
        TiXmlPrinter printer;
        pDocument->Accept(&printer);
        delete pDocument;
    }
    pRepository->RemoveAllFiles();
    return 0;
}
