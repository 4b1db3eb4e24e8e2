#include "tests/support/CountingAllocator.h"

#include <cxxabi.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unwind.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KV_COUNTING_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KV_COUNTING_ALLOCATOR 0
#endif
#endif
#ifndef KV_COUNTING_ALLOCATOR
#define KV_COUNTING_ALLOCATOR 1
#endif

namespace
{

enum class Owner : std::uint8_t
{
    Skip,    // library, runtime or operator code: the caller decides
    Engine,  // the engine's prefixes
    StandIn, // every other named function of the program
};

// Frames looked at above an allocation before it counts as nobody's.
constexpr int MAX_FRAMES = 64;
constexpr std::size_t SITE_SLOTS = 8192;

// "K" + capitals or digits + "_": the engine's class, function and file prefixes (KR_, KV27_).
bool HasEnginePrefix(const char* pName, std::size_t uiLength)
{
    if (uiLength < 3 || pName[0] != 'K')
        return false;
    std::size_t i = 1;
    while (i < uiLength && ((pName[i] >= 'A' && pName[i] <= 'Z') || (pName[i] >= '0' && pName[i] <= '9')))
        ++i;
    return i >= 2 && i < uiLength && pName[i] == '_';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips one call offset of a thunk's name ("n8_" or "8_"); null when malformed.
const char* SkipCallOffset(const char* p)
{
    if (*p == 'n')
        ++p;
    if (!IsDigit(*p))
        return nullptr;
    while (IsDigit(*p))
        ++p;
    return *p == '_' ? p + 1 : nullptr;
}

// Owner of a function by its mangled name, and for file-local functions by the name of the
// source file they were compiled from.
Owner Classify(const char* pName, bool bLocal, const char* pFile)
{
    const auto byFile = [pFile]()
    {
        const std::size_t uiLength = std::strlen(pFile);
        if (HasEnginePrefix(pFile, uiLength))
            return Owner::Engine;
        if (std::strcmp(pFile, "CountingAllocator.cpp") == 0 || uiLength == 0)
            return Owner::Skip;
        return Owner::StandIn;
    };
    if (pName[0] != '_' || pName[1] != 'Z')
        return Owner::Skip; // C names: the C library, the sanitizers' runtime, main
    const char* p = pName + 2;
    // Thunks ("non-virtual thunk to ...") belong to the function they lead to.
    while (p != nullptr && p[0] == 'T' && (p[1] == 'h' || p[1] == 'v'))
    {
        const bool bVirtual = p[1] == 'v';
        p = SkipCallOffset(p + 2);
        if (p != nullptr && bVirtual)
            p = SkipCallOffset(p);
    }
    if (p == nullptr)
        return Owner::Skip;
    if (*p == 'Z') // a lambda or local class: owned like the function it lives in
        ++p;
    if (*p == 'L')
        ++p;
    if (*p == 'N')
    {
        ++p;
        while (*p == 'r' || *p == 'V' || *p == 'K' || *p == 'R' || *p == 'O')
            ++p;
    }
    if (*p == 'S' || !IsDigit(*p))
        return Owner::Skip; // std:: and its abbreviations; operators (new, delete, +, ==, ...)
    std::size_t uiLength = 0;
    while (IsDigit(*p))
        uiLength = uiLength * 10 + static_cast<std::size_t>(*p++ - '0');
    if (std::strlen(p) < uiLength)
        return Owner::Skip;
    const std::string_view sLeading(p, uiLength);
    if (HasEnginePrefix(p, uiLength))
        return Owner::Engine;
    if (p[0] == '_' && !bLocal)
        return Owner::Skip; // the C runtime's names (_aligned_malloc, _stricmp, ...), whoever implements them
    if (sLeading == "_GLOBAL__N_1" || bLocal)
        return byFile();
    static constexpr std::string_view LIBRARIES[] = {
        "__gnu_cxx", "__cxxabiv1",  "testing", "benchmark",
        "boost",     "__sanitizer", "__ubsan", "CountingAllocator"};
    for (std::string_view sLibrary : LIBRARIES)
        if (sLeading == sLibrary)
            return Owner::Skip;
    return Owner::StandIn;
}

// The program's functions, sorted by address, read once from its own symbol table.
class SymbolTable
{
public:
    bool Load();
    // Index of the function holding the address, or -1.
    int Find(std::uintptr_t uiAddress) const;
    Owner GetOwner(int iIndex) const { return m_gSymbols[static_cast<std::size_t>(iIndex)].eOwner; }
    const char* GetName(int iIndex) const { return m_gSymbols[static_cast<std::size_t>(iIndex)].pName; }

private:
    struct Symbol
    {
        std::uintptr_t uiStart;
        std::uintptr_t uiEnd;
        const char* pName; // in the mapped file, which stays mapped
        Owner eOwner;
    };
    std::vector<Symbol> m_gSymbols;
};

int FindLoadBias(dl_phdr_info* pInfo, std::size_t, void* pBias)
{
    *static_cast<std::uintptr_t*>(pBias) = pInfo->dlpi_addr;
    return 1; // the program comes first
}

bool SymbolTable::Load()
{
    const int iFile = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (iFile < 0)
        return false;
    struct stat info = {};
    void* pMap = MAP_FAILED;
    if (fstat(iFile, &info) == 0 && info.st_size > static_cast<off_t>(sizeof(Elf64_Ehdr)))
        pMap = mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, iFile, 0);
    close(iFile);
    if (pMap == MAP_FAILED)
        return false;
    const auto* pBytes = static_cast<const std::uint8_t*>(pMap);
    const std::size_t uiSize = static_cast<std::size_t>(info.st_size);
    const auto* pHeader = reinterpret_cast<const Elf64_Ehdr*>(pBytes);
    if (std::memcmp(pHeader->e_ident, ELFMAG, SELFMAG) != 0 || pHeader->e_ident[EI_CLASS] != ELFCLASS64 ||
        pHeader->e_shentsize != sizeof(Elf64_Shdr) || pHeader->e_shoff > uiSize ||
        pHeader->e_shnum > (uiSize - pHeader->e_shoff) / sizeof(Elf64_Shdr))
        return false;
    const auto* pSections = reinterpret_cast<const Elf64_Shdr*>(pBytes + pHeader->e_shoff);
    const Elf64_Shdr* pSymbols = nullptr;
    for (std::size_t i = 0; i < pHeader->e_shnum; ++i)
        if (pSections[i].sh_type == SHT_SYMTAB)
            pSymbols = &pSections[i];
    if (pSymbols == nullptr || pSymbols->sh_link >= pHeader->e_shnum || pSymbols->sh_offset > uiSize ||
        pSymbols->sh_size > uiSize - pSymbols->sh_offset)
        return false;
    const Elf64_Shdr& names = pSections[pSymbols->sh_link];
    if (names.sh_offset > uiSize || names.sh_size > uiSize - names.sh_offset || names.sh_size == 0 ||
        pBytes[names.sh_offset + names.sh_size - 1] != 0)
        return false;
    const char* pNames = reinterpret_cast<const char*>(pBytes + names.sh_offset);
    std::uintptr_t uiBias = 0;
    dl_iterate_phdr(FindLoadBias, &uiBias);

    // Local symbols follow the file symbol of the object they came from.
    const char* pFile = "";
    const auto* pEntries = reinterpret_cast<const Elf64_Sym*>(pBytes + pSymbols->sh_offset);
    const std::size_t uiCount = pSymbols->sh_size / sizeof(Elf64_Sym);
    for (std::size_t i = 0; i < uiCount; ++i)
    {
        const Elf64_Sym& symbol = pEntries[i];
        if (symbol.st_name >= names.sh_size)
            continue;
        const char* pName = pNames + symbol.st_name;
        if (ELF64_ST_TYPE(symbol.st_info) == STT_FILE)
        {
            const char* pSlash = std::strrchr(pName, '/');
            pFile = pSlash != nullptr ? pSlash + 1 : pName;
            continue;
        }
        if (ELF64_ST_TYPE(symbol.st_info) != STT_FUNC || symbol.st_shndx == SHN_UNDEF || symbol.st_value == 0)
            continue;
        const bool bLocal = ELF64_ST_BIND(symbol.st_info) == STB_LOCAL;
        const std::uintptr_t uiStart = uiBias + symbol.st_value;
        m_gSymbols.push_back(
            {uiStart, uiStart + symbol.st_size, pName, Classify(pName, bLocal, bLocal ? pFile : "")});
    }
    std::sort(m_gSymbols.begin(), m_gSymbols.end(),
              [](const Symbol& a, const Symbol& b) { return a.uiStart < b.uiStart; });
    // A symbol without a size reaches up to the next one.
    for (std::size_t i = 0; i + 1 < m_gSymbols.size(); ++i)
        if (m_gSymbols[i].uiEnd == m_gSymbols[i].uiStart)
            m_gSymbols[i].uiEnd = m_gSymbols[i + 1].uiStart;
    return !m_gSymbols.empty();
}

int SymbolTable::Find(std::uintptr_t uiAddress) const
{
    const auto it =
        std::upper_bound(m_gSymbols.begin(), m_gSymbols.end(), uiAddress,
                         [](std::uintptr_t uiValue, const Symbol& s) { return uiValue < s.uiStart; });
    if (it == m_gSymbols.begin())
        return -1;
    const Symbol& symbol = *(it - 1);
    if (uiAddress >= symbol.uiEnd)
        return -1;
    return static_cast<int>(it - 1 - m_gSymbols.begin());
}

struct SiteSlot
{
    std::atomic<std::uint64_t> uiKey{0}; // owner's symbol index + 1, caller's + 1 above bit 32; 0: free
    std::atomic<std::uint64_t> uiCount{0};
};

std::atomic<bool> g_bCounting{false};
std::atomic<bool> g_bAttributed{false};
std::atomic<bool> g_bForceUnattributed{false};
std::atomic<std::uint64_t> g_uiTotal{0};
std::atomic<std::uint64_t> g_uiBytes{0};
std::atomic<std::uint64_t> g_uiEngine{0};
std::atomic<std::uint64_t> g_uiStandIn{0};
std::atomic<std::uint64_t> g_uiOther{0};
SiteSlot g_aSites[SITE_SLOTS];
SymbolTable* g_pSymbols = nullptr; // made once, never deleted (allocations may come late)
std::once_flag g_symbolsOnce;
thread_local int t_iPaused = 0;

void AddSite(int iSymbol, int iCaller)
{
    const std::uint64_t uiKey =
        (static_cast<std::uint64_t>(iSymbol) + 1) | (static_cast<std::uint64_t>(iCaller + 1) << 32);
    std::size_t uiSlot = static_cast<std::size_t>((uiKey * 0x9E3779B97F4A7C15ull) >> 40) % SITE_SLOTS;
    for (std::size_t uiProbe = 0; uiProbe < SITE_SLOTS; ++uiProbe)
    {
        SiteSlot& slot = g_aSites[uiSlot];
        std::uint64_t uiSeen = slot.uiKey.load(std::memory_order_acquire);
        if (uiSeen == 0 && slot.uiKey.compare_exchange_strong(uiSeen, uiKey, std::memory_order_acq_rel))
            uiSeen = uiKey;
        if (uiSeen == uiKey)
        {
            slot.uiCount.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        uiSlot = (uiSlot + 1) % SITE_SLOTS;
    }
}

struct Walk
{
    int iFrames = 0;
    int iSymbol = -1; // the owning frame's function
    int iCaller = -1; // the next engine or stand-in function above it, for the sites' names
};

_Unwind_Reason_Code VisitFrame(_Unwind_Context* pContext, void* pWalk)
{
    Walk* pState = static_cast<Walk*>(pWalk);
    const std::uintptr_t uiAddress = _Unwind_GetIP(pContext);
    if (uiAddress == 0 || ++pState->iFrames > MAX_FRAMES)
        return _URC_END_OF_STACK;
    // The return address may be the first byte after the call's function.
    const int iSymbol = g_pSymbols->Find(uiAddress - 1);
    if (iSymbol < 0 || g_pSymbols->GetOwner(iSymbol) == Owner::Skip || iSymbol == pState->iSymbol)
        return _URC_NO_REASON;
    if (pState->iSymbol >= 0)
    {
        pState->iCaller = iSymbol;
        return _URC_END_OF_STACK;
    }
    pState->iSymbol = iSymbol;
    return _URC_NO_REASON;
}

void Attribute()
{
    Walk walk;
    _Unwind_Backtrace(VisitFrame, &walk);
    if (walk.iSymbol < 0)
    {
        g_uiOther.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (g_pSymbols->GetOwner(walk.iSymbol) == Owner::Engine)
        g_uiEngine.fetch_add(1, std::memory_order_relaxed);
    else
        g_uiStandIn.fetch_add(1, std::memory_order_relaxed);
    AddSite(walk.iSymbol, walk.iCaller);
}

// Unused where the allocator is not replaced (sanitizer builds).
[[maybe_unused]] void Count(std::size_t uiSize)
{
    if (!g_bCounting.load(std::memory_order_relaxed) || t_iPaused != 0)
        return;
    ++t_iPaused; // the walk's own allocations, if any, are not counted
    g_uiTotal.fetch_add(1, std::memory_order_relaxed);
    g_uiBytes.fetch_add(uiSize, std::memory_order_relaxed);
    if (g_bAttributed.load(std::memory_order_relaxed))
        Attribute();
    --t_iPaused;
}

} // namespace

#if KV_COUNTING_ALLOCATOR
// glibc's allocator under its own names; the replacements below forward to it.
extern "C" void* __libc_malloc(std::size_t uiSize);
extern "C" void* __libc_calloc(std::size_t uiCount, std::size_t uiSize);
extern "C" void* __libc_realloc(void* pBlock, std::size_t uiSize);
extern "C" void* __libc_memalign(std::size_t uiAlignment, std::size_t uiSize);

extern "C" void* malloc(std::size_t uiSize) noexcept
{
    Count(uiSize);
    return __libc_malloc(uiSize);
}

extern "C" void* calloc(std::size_t uiCount, std::size_t uiSize) noexcept
{
    Count(uiCount * uiSize);
    return __libc_calloc(uiCount, uiSize);
}

extern "C" void* realloc(void* pBlock, std::size_t uiSize) noexcept
{
    if (uiSize != 0)
        Count(uiSize);
    return __libc_realloc(pBlock, uiSize);
}

extern "C" void* memalign(std::size_t uiAlignment, std::size_t uiSize) noexcept
{
    Count(uiSize);
    return __libc_memalign(uiAlignment, uiSize);
}

extern "C" void* aligned_alloc(std::size_t uiAlignment, std::size_t uiSize) noexcept
{
    Count(uiSize);
    return __libc_memalign(uiAlignment, uiSize);
}

extern "C" int posix_memalign(void** ppBlock, std::size_t uiAlignment, std::size_t uiSize) noexcept
{
    if (uiAlignment < sizeof(void*) || (uiAlignment & (uiAlignment - 1)) != 0)
        return EINVAL;
    Count(uiSize);
    void* pBlock = __libc_memalign(uiAlignment, uiSize);
    if (pBlock == nullptr)
        return ENOMEM;
    *ppBlock = pBlock;
    return 0;
}
#endif

namespace CountingAllocator
{

bool IsAvailable()
{
    return KV_COUNTING_ALLOCATOR != 0;
}

void Start(bool bAttributed)
{
    Pause pause;
    g_bCounting.store(false, std::memory_order_relaxed);
    if (bAttributed)
    {
        std::call_once(g_symbolsOnce,
                       []
                       {
                           auto* pTable = new SymbolTable();
                           if (pTable->Load())
                               g_pSymbols = pTable;
                           else
                               delete pTable;
                       });
    }
    g_uiTotal.store(0);
    g_uiBytes.store(0);
    g_uiEngine.store(0);
    g_uiStandIn.store(0);
    g_uiOther.store(0);
    for (SiteSlot& slot : g_aSites)
    {
        slot.uiKey.store(0);
        slot.uiCount.store(0);
    }
    g_bAttributed.store(bAttributed && g_pSymbols != nullptr && !g_bForceUnattributed.load());
    g_bCounting.store(true);
}

void ForceUnattributed(bool bForce)
{
    g_bForceUnattributed.store(bForce);
}

void Stop()
{
    g_bCounting.store(false);
}

Counts GetCounts()
{
    Counts counts;
    counts.Engine = g_uiEngine.load();
    counts.StandIn = g_uiStandIn.load();
    counts.Other = g_uiOther.load();
    counts.Total = g_uiTotal.load();
    counts.Bytes = g_uiBytes.load();
    counts.Attributed = g_bAttributed.load();
    return counts;
}

std::vector<Site> GetSites(bool bEngine, std::size_t uiMax)
{
    Pause pause;
    std::vector<Site> gSites;
    if (g_pSymbols == nullptr)
        return gSites;
    const Owner eWanted = bEngine ? Owner::Engine : Owner::StandIn;
    const auto name = [](int iSymbol)
    {
        const char* pName = g_pSymbols->GetName(iSymbol);
        int iStatus = 0;
        char* pDemangled = abi::__cxa_demangle(pName, nullptr, nullptr, &iStatus);
        std::string sName = iStatus == 0 && pDemangled != nullptr ? pDemangled : pName;
        std::free(pDemangled);
        // Parameter lists make the lines long and say little here: the last bracketed group goes.
        const std::size_t uiClone = sName.find(" [clone");
        if (uiClone != std::string::npos)
            sName.resize(uiClone);
        if (sName.size() > 6 && sName.compare(sName.size() - 6, 6, " const") == 0)
            sName.resize(sName.size() - 6);
        int iDepth = 0;
        for (std::size_t i = sName.size(); i > 0 && sName.back() == ')'; --i)
        {
            iDepth += sName[i - 1] == ')' ? 1 : (sName[i - 1] == '(' ? -1 : 0);
            if (iDepth == 0)
            {
                sName.resize(i - 1);
                break;
            }
        }
        return sName;
    };
    for (const SiteSlot& slot : g_aSites)
    {
        const std::uint64_t uiKey = slot.uiKey.load();
        const int iSymbol = static_cast<int>(uiKey & 0xFFFFFFFFu) - 1;
        const int iCaller = static_cast<int>(uiKey >> 32) - 1;
        if (uiKey == 0 || g_pSymbols->GetOwner(iSymbol) != eWanted)
            continue;
        std::string sFunction = name(iSymbol);
        if (iCaller >= 0)
            sFunction += " <- " + name(iCaller);
        gSites.push_back({sFunction, slot.uiCount.load()});
    }
    std::sort(gSites.begin(), gSites.end(), [](const Site& a, const Site& b) { return a.Count > b.Count; });
    if (gSites.size() > uiMax)
        gSites.resize(uiMax);
    return gSites;
}

std::string DescribeSites(bool bEngine, std::size_t uiMax)
{
    Pause pause;
    std::string sText;
    for (const Site& site : GetSites(bEngine, uiMax))
        sText += site.Function + " x" + std::to_string(site.Count) + "\n";
    return sText;
}

Pause::Pause()
{
    ++t_iPaused;
}

Pause::~Pause()
{
    --t_iPaused;
}

} // namespace CountingAllocator
