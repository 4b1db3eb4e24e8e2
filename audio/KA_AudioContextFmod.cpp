#include "audio/KA_AudioContextFmod.h"

#include "audio/KA_AudioResourceFmod.h"
#include "framework/app/KE_EngineMembers.h"
#include "framework/core/KU_FileUtilities.h"
#include "framework/files/KF_FileManager.h"
#include "platform/fmod/fmod.hpp"

#include <climits>
#include <cstring>
#include <new>

namespace
{

constexpr int DRIVER_NAME_LENGTH = 256;
constexpr int MAX_CHANNELS = 1024;
// Channel count of the stereo fallback when the driver cannot make buffers for MAX_CHANNELS.
constexpr int FALLBACK_CHANNELS = 100;
constexpr unsigned int DSP_BUFFER_LENGTH = 1024; // samples
constexpr int DSP_BUFFER_COUNT = 10;
// Drivers of this maker get 48 kHz floating-point software output.
constexpr const char* FLOAT_OUTPUT_DRIVER_MAKER = "SigmaTel";
constexpr int FLOAT_OUTPUT_RATE = 48000;
// Codec hint for ".mp3" files. FMOD tries the hinted codec first and then probes the others, so
// the hint only saves time; the engine has always passed 11, which FMOD Ex's list calls
// FMOD_SOUND_TYPE_MOD (its MPEG entry is 12).
constexpr FMOD_SOUND_TYPE MP3_SOUND_TYPE_HINT = static_cast<FMOD_SOUND_TYPE>(11);

FMOD_VECTOR ToFmod(const DirectX::XMFLOAT3& v)
{
    return FMOD_VECTOR{v.x, v.y, v.z};
}

} // namespace

KA_AudioContextFmod::~KA_AudioContextFmod()
{
    if (m_pSystem != nullptr)
    {
        m_pSystem->release();
        m_pSystem = nullptr;
    }
}

bool KA_AudioContextFmod::Initialize()
{
    if (m_pSystem != nullptr)
        return false; // already initialised
    if (FMOD_System_Create(&m_pSystem) != FMOD_OK)
    {
        m_pSystem = nullptr;
        return false;
    }
    unsigned int version = 0;
    if (m_pSystem->getVersion(&version) != FMOD_OK || version < MIN_FMOD_VERSION)
        return false;
    int numDrivers = 0;
    if (m_pSystem->getNumDrivers(&numDrivers) != FMOD_OK)
        return false;
    if (numDrivers == 0)
        return m_pSystem->setOutput(FMOD_OUTPUTTYPE_NOSOUND) == FMOD_OK;
    for (int driver = 0; driver < numDrivers; ++driver)
    {
        char name[DRIVER_NAME_LENGTH] = {};
        if (m_pSystem->getDriverInfo(driver, name, DRIVER_NAME_LENGTH, nullptr) != FMOD_OK)
            return false;
        name[DRIVER_NAME_LENGTH - 1] = '\0';
        m_gAudioDevices.Add(KB_String(name));
    }
    return true;
}

bool KA_AudioContextFmod::SelectAudioDevice(std::uint32_t index)
{
    if (m_pSystem == nullptr)
        return false;
    if (index < m_gAudioDevices.GetNumMembers())
    {
        const int driver = static_cast<int>(index);
        FMOD_CAPS caps = FMOD_CAPS_NONE;
        FMOD_SPEAKERMODE speakerMode = FMOD_SPEAKERMODE_STEREO;
        if (m_pSystem->getDriverCaps(driver, &caps, nullptr, &speakerMode) != FMOD_OK ||
            m_pSystem->setSpeakerMode(speakerMode) != FMOD_OK)
        {
            return false;
        }
        if ((caps & FMOD_CAPS_HARDWARE_EMULATED) != 0 &&
            m_pSystem->setDSPBufferSize(DSP_BUFFER_LENGTH, DSP_BUFFER_COUNT) != FMOD_OK)
        {
            return false;
        }
        char name[DRIVER_NAME_LENGTH] = {};
        if (m_pSystem->getDriverInfo(driver, name, DRIVER_NAME_LENGTH, nullptr) != FMOD_OK)
            return false;
        name[DRIVER_NAME_LENGTH - 1] = '\0';
        if (std::strstr(name, FLOAT_OUTPUT_DRIVER_MAKER) != nullptr &&
            m_pSystem->setSoftwareFormat(FLOAT_OUTPUT_RATE, FMOD_SOUND_FORMAT_PCMFLOAT, 0, 0,
                                         FMOD_DSP_RESAMPLER_LINEAR) != FMOD_OK)
        {
            return false;
        }
        if (m_pSystem->setDriver(driver) != FMOD_OK)
            return false;
    }
    FMOD_RESULT result = m_pSystem->init(MAX_CHANNELS, FMOD_INIT_NORMAL, nullptr);
    if (result == FMOD_ERR_OUTPUT_CREATEBUFFER)
    {
        if (m_pSystem->setSpeakerMode(FMOD_SPEAKERMODE_STEREO) != FMOD_OK)
            return false;
        result = m_pSystem->init(FALLBACK_CHANNELS, FMOD_INIT_NORMAL, nullptr);
    }
    if (result != FMOD_OK)
        return false;
    return m_pSystem->set3DSettings(1.0f, 100.0f, 1.0f) == FMOD_OK;
}

std::int32_t KA_AudioContextFmod::Update()
{
    if (m_pSystem == nullptr)
        return FMOD_ERR_UNINITIALIZED;
    return m_pSystem->update();
}

std::int32_t KA_AudioContextFmod::SetMasterVolume(float volume)
{
    if (m_pSystem == nullptr)
        return FMOD_ERR_UNINITIALIZED;
    FMOD::ChannelGroup* pMaster = nullptr;
    const FMOD_RESULT result = m_pSystem->getMasterChannelGroup(&pMaster);
    if (pMaster == nullptr)
        return result;
    return pMaster->setVolume(volume);
}

std::int32_t KA_AudioContextFmod::Set3DListenerAttributes(const DirectX::XMFLOAT3* pPosition,
                                                          const DirectX::XMFLOAT3* pVelocity,
                                                          const DirectX::XMFLOAT3* pForward,
                                                          const DirectX::XMFLOAT3* pUp)
{
    if (m_pSystem == nullptr)
        return FMOD_ERR_UNINITIALIZED;
    FMOD_VECTOR vectors[4];
    const DirectX::XMFLOAT3* inputs[4] = {pPosition, pVelocity, pForward, pUp};
    const FMOD_VECTOR* outputs[4] = {};
    for (int i = 0; i < 4; ++i)
    {
        if (inputs[i] != nullptr)
        {
            vectors[i] = ToFmod(*inputs[i]);
            outputs[i] = &vectors[i];
        }
    }
    return m_pSystem->set3DListenerAttributes(0, outputs[0], outputs[1], outputs[2], outputs[3]);
}

KA_AudioResource* KA_AudioContextFmod::CreateAudioResource(const KB_String& path, bool is3D, bool looped)
{
    KF_FileManager* pFiles = KE_GetFileManager();
    if (m_pSystem == nullptr || pFiles == nullptr)
        return nullptr;
    std::uint64_t size = 0;
    std::uint8_t* pData = nullptr;
    if (!pFiles->ReadFile(path, &size, &pData))
        return nullptr;
    KA_AudioResource* pResource = CreateSound(path, pData, size, is3D, looped);
    pFiles->RemoveReference(path); // FMOD keeps nothing of the bytes
    return pResource;
}

KA_AudioResource* KA_AudioContextFmod::CreateSound(const KB_String& path, const std::uint8_t* pData,
                                                   std::uint64_t size, bool is3D, bool looped)
{
    if (m_pSystem == nullptr || size == 0 || size > UINT_MAX)
        return nullptr;
    FMOD_CREATESOUNDEXINFO exinfo = {};
    exinfo.cbsize = sizeof exinfo;
    exinfo.length = static_cast<unsigned int>(size);
    const bool mp3 = KU_FileUtilities::ExtractExtension(path) == KB_String("mp3"); // case-sensitive
    exinfo.suggestedsoundtype = mp3 ? MP3_SOUND_TYPE_HINT : FMOD_SOUND_TYPE_UNKNOWN;
    FMOD_MODE mode = FMOD_OPENMEMORY | FMOD_CREATESAMPLE;
    if (is3D)
        mode |= FMOD_3D;
    if (looped)
        mode |= FMOD_LOOP_NORMAL;
    FMOD::Sound* pSound = nullptr;
    if (m_pSystem->createSound(reinterpret_cast<const char*>(pData), mode, &exinfo, &pSound) != FMOD_OK ||
        pSound == nullptr)
    {
        return nullptr;
    }
    KA_AudioResource* pResource = new (std::nothrow) KA_AudioResourceFmod(m_pSystem, pSound);
    if (pResource == nullptr)
        pSound->release();
    return pResource;
}
