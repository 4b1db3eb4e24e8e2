#include "audio/KA_AudioResourceFmod.h"

#include "platform/fmod/fmod.hpp"

#include <cmath>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace
{

constexpr std::size_t ARRAY_ALIGNMENT = 64;
constexpr std::uint32_t TRIGGERED = 0xFFFFFFFFu;

// A zeroed block of count elements on a 64-byte boundary; null when the allocation fails.
template <typename T>
T* AllocateZeroed(std::uint64_t count)
{
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
    void* pBlock = ::operator new(bytes, std::align_val_t{ARRAY_ALIGNMENT}, std::nothrow);
    if (pBlock != nullptr)
        std::memset(pBlock, 0, bytes);
    return static_cast<T*>(pBlock);
}

void FreeAligned(void* pBlock)
{
    if (pBlock != nullptr)
        ::operator delete(pBlock, std::align_val_t{ARRAY_ALIGNMENT});
}

} // namespace

KA_AudioResourceFmod::KA_AudioResourceFmod(FMOD::System* pSystem, FMOD::Sound* pSound)
    : m_pSystem(pSystem), m_pSound(pSound)
{
    AcquireChannel();
}

KA_AudioResourceFmod::~KA_AudioResourceFmod()
{
    if (m_pChannel != nullptr)
    {
        m_pChannel->stop();
        m_pChannel = nullptr;
    }
    if (m_pSound != nullptr)
    {
        m_pSound->release();
        m_pSound = nullptr;
    }
    FreeArrays();
}

int KA_AudioResourceFmod::AcquireChannel()
{
    if (m_pChannel != nullptr)
        return FMOD_OK;
    if (m_pSystem == nullptr || m_pSound == nullptr)
        return FMOD_ERR_INVALID_HANDLE;
    const FMOD_RESULT result = m_pSystem->playSound(FMOD_CHANNEL_FREE, m_pSound, true, &m_pChannel);
    if (result != FMOD_OK)
        m_pChannel = nullptr;
    return result;
}

template <typename Call>
int KA_AudioResourceFmod::CallChannel(Call call)
{
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        const int acquired = AcquireChannel();
        if (acquired != FMOD_OK)
            return acquired;
        const int result = call(m_pChannel);
        if (result != FMOD_ERR_INVALID_HANDLE)
            return result;
        m_pChannel = nullptr; // ended or stolen
    }
    return FMOD_ERR_INVALID_HANDLE;
}

std::int32_t KA_AudioResourceFmod::Play()
{
    return CallChannel([](FMOD::Channel* pChannel) { return pChannel->setPaused(false); });
}

std::int32_t KA_AudioResourceFmod::Pause()
{
    return CallChannel([](FMOD::Channel* pChannel) { return pChannel->setPaused(true); });
}

std::int32_t KA_AudioResourceFmod::SetPosition(double seconds)
{
    // Below zero (a resume just before an entity's start) and NaN seek to the start.
    const double ms = seconds > 0.0 ? std::floor(seconds * 1000.0) : 0.0;
    const unsigned int position = ms < 4294967295.0 ? static_cast<unsigned int>(ms) : 0xFFFFFFFFu;
    return CallChannel([position](FMOD::Channel* pChannel)
                       { return pChannel->setPosition(position, FMOD_TIMEUNIT_MS); });
}

double KA_AudioResourceFmod::GetPosition()
{
    unsigned int ms = 0;
    const int result = CallChannel(
        [&ms](FMOD::Channel* pChannel)
        {
            ms = 0;
            return pChannel->getPosition(&ms, FMOD_TIMEUNIT_MS);
        });
    return result == FMOD_OK ? ms * 0.001 : 0.0;
}

double KA_AudioResourceFmod::GetLength()
{
    unsigned int ms = 0;
    if (m_pSound == nullptr || m_pSound->getLength(&ms, FMOD_TIMEUNIT_MS) != FMOD_OK)
        return 0.0;
    return ms * 0.001;
}

std::int32_t KA_AudioResourceFmod::SetVolume(float volume)
{
    const float clamped = volume > 0.0f ? (volume > 1.0f ? 1.0f : volume) : 0.0f; // NaN gives 0
    return CallChannel([clamped](FMOD::Channel* pChannel) { return pChannel->setVolume(clamped); });
}

float KA_AudioResourceFmod::GetVolume()
{
    float volume = 0.0f;
    CallChannel([&volume](FMOD::Channel* pChannel) { return pChannel->getVolume(&volume); });
    return volume;
}

std::int32_t KA_AudioResourceFmod::Set3DAttributes(DirectX::FXMVECTOR position, DirectX::FXMVECTOR velocity)
{
    DirectX::XMFLOAT3 p;
    DirectX::XMFLOAT3 v;
    DirectX::XMStoreFloat3(&p, position);
    DirectX::XMStoreFloat3(&v, velocity);
    const FMOD_VECTOR pos = {p.x, p.y, p.z};
    const FMOD_VECTOR vel = {v.x, v.y, v.z};
    return CallChannel([&](FMOD::Channel* pChannel) { return pChannel->set3DAttributes(&pos, &vel); });
}

std::int32_t KA_AudioResourceFmod::Set3DMinMaxDistance(float minDistance, float maxDistance)
{
    return CallChannel([=](FMOD::Channel* pChannel)
                       { return pChannel->set3DMinMaxDistance(minDistance, maxDistance); });
}

std::int32_t KA_AudioResourceFmod::Set3DOcclusion(float directOcclusion, float reverbOcclusion)
{
    return CallChannel([=](FMOD::Channel* pChannel)
                       { return pChannel->set3DOcclusion(directOcclusion, reverbOcclusion); });
}

void KA_AudioResourceFmod::FreeArrays()
{
    FreeAligned(m_pChannelSpectrum);
    FreeAligned(m_pSpectrum);
    FreeAligned(m_pChannelLastTriggerTime);
    FreeAligned(m_pLastTriggerTime);
    FreeAligned(m_pChannelTriggered);
    FreeAligned(m_pTriggered);
    m_pChannelSpectrum = nullptr;
    m_pSpectrum = nullptr;
    m_pChannelLastTriggerTime = nullptr;
    m_pLastTriggerTime = nullptr;
    m_pChannelTriggered = nullptr;
    m_pTriggered = nullptr;
}

void KA_AudioResourceFmod::SetNumFFTValues(std::uint32_t count)
{
    if (count == m_uiNumFFTValues)
        return;
    const std::uint64_t bands = count;
    if (count > m_uiNumFFTValues)
    {
        FreeArrays();
        m_pChannelSpectrum = AllocateZeroed<float>(2 * bands);
        m_pSpectrum = AllocateZeroed<float>(bands);
        m_pChannelLastTriggerTime = AllocateZeroed<float>(2 * bands);
        m_pLastTriggerTime = AllocateZeroed<float>(bands);
        m_pChannelTriggered = AllocateZeroed<std::uint32_t>(2 * bands);
        m_pTriggered = AllocateZeroed<std::uint32_t>(bands);
        if (m_pChannelSpectrum == nullptr || m_pSpectrum == nullptr || m_pChannelLastTriggerTime == nullptr ||
            m_pLastTriggerTime == nullptr || m_pChannelTriggered == nullptr || m_pTriggered == nullptr)
        {
            FreeArrays();
            m_uiNumFFTValues = 0;
            return;
        }
    }
    else
    {
        // Fewer bands in the same arrays: the right channel now starts elsewhere, so nothing of the
        // old layout may be read as the new one.
        std::memset(m_pChannelSpectrum, 0, 2 * bands * sizeof(float));
        std::memset(m_pSpectrum, 0, bands * sizeof(float));
        std::memset(m_pChannelLastTriggerTime, 0, 2 * bands * sizeof(float));
        std::memset(m_pLastTriggerTime, 0, bands * sizeof(float));
        std::memset(m_pChannelTriggered, 0, 2 * bands * sizeof(std::uint32_t));
        std::memset(m_pTriggered, 0, bands * sizeof(std::uint32_t));
    }
    m_uiNumFFTValues = count;
}

const float* KA_AudioResourceFmod::GetSpectrum() const
{
    return m_uiNumFFTValues == 0 ? nullptr : m_pSpectrum;
}

const float* KA_AudioResourceFmod::GetChannelSpectrum() const
{
    return m_uiNumFFTValues == 0 ? nullptr : m_pChannelSpectrum;
}

bool KA_AudioResourceFmod::IsChannelTriggered(std::uint32_t channel, std::uint32_t band) const
{
    if (channel > 1 || band >= m_uiNumFFTValues)
        return false;
    return m_pChannelTriggered[channel * m_uiNumFFTValues + band] != 0;
}

bool KA_AudioResourceFmod::IsTriggered(std::uint32_t band) const
{
    return band < m_uiNumFFTValues && m_pTriggered[band] != 0;
}

void KA_AudioResourceFmod::UpdateSpectrum(double time)
{
    const std::uint32_t n = m_uiNumFFTValues;
    if (n == 0)
        return;
    if (m_pChannel != nullptr)
    {
        // Results ignored: without a fresh spectrum the previous one stays.
        m_pChannel->getSpectrum(m_pChannelSpectrum, static_cast<int>(n), 0, FMOD_DSP_FFT_WINDOW_RECT);
        m_pChannel->getSpectrum(m_pChannelSpectrum + n, static_cast<int>(n), 1, FMOD_DSP_FFT_WINDOW_RECT);
    }
    const float now = static_cast<float>(time);
    const float threshold = m_fTriggerThreshold;
    const float hold = m_fTriggerHoldTime;
    ApplyTriggerRule(m_pChannelSpectrum, m_pChannelSpectrum + n, m_pSpectrum, m_pLastTriggerTime,
                     m_pTriggered, n, now, threshold, hold);
    ApplyTriggerRule(m_pChannelSpectrum, nullptr, nullptr, m_pChannelLastTriggerTime, m_pChannelTriggered,
                     2 * n, now, threshold, hold);
}

void KA_AudioResourceFmod::ApplyTriggerRule(const float* pValues, const float* pRight, float* pCombined,
                                            float* pLastTrigger, std::uint32_t* pFlags, std::uint32_t count,
                                            float time, float threshold, float hold)
{
    std::uint32_t i = 0;
#if defined(__SSE2__)
    const __m128 vTime = _mm_set1_ps(time);
    const __m128 vThreshold = _mm_set1_ps(threshold);
    const __m128 vHold = _mm_set1_ps(hold);
    for (; i + 4 <= count; i += 4)
    {
        __m128 value = _mm_load_ps(pValues + i);
        if (pRight != nullptr)
            value = _mm_max_ps(value, _mm_loadu_ps(pRight + i)); // the right half need not be aligned
        const __m128 last = _mm_load_ps(pLastTrigger + i);
        const __m128 held = _mm_cmple_ps(_mm_add_ps(last, vHold), vTime);
        const __m128 loud = _mm_cmple_ps(vThreshold, value);
        const __m128 triggered = _mm_and_ps(held, loud);
        const __m128 newLast = _mm_or_ps(_mm_and_ps(triggered, vTime), _mm_andnot_ps(triggered, last));
        if (pCombined != nullptr)
            _mm_stream_ps(pCombined + i, value);
        _mm_stream_ps(pLastTrigger + i, newLast);
        _mm_stream_si128(reinterpret_cast<__m128i*>(pFlags + i), _mm_castps_si128(triggered));
    }
#endif
    // The tail (and the whole array without SSE2), with the same comparisons: max as _mm_max_ps
    // takes it (the second value unless the first is greater), so a NaN never triggers.
    for (; i < count; ++i)
    {
        float value = pValues[i];
        if (pRight != nullptr)
            value = value > pRight[i] ? value : pRight[i];
        const bool triggered = (pLastTrigger[i] + hold <= time) && (threshold <= value);
        if (pCombined != nullptr)
            pCombined[i] = value;
        if (triggered)
            pLastTrigger[i] = time;
        pFlags[i] = triggered ? TRIGGERED : 0u;
    }
#if defined(__SSE2__)
    _mm_sfence();
#endif
}
