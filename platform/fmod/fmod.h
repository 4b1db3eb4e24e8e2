#pragma once
// Types, result codes and constants of the FMOD Ex stand-in: the subset the engine's audio code
// uses, under FMOD Ex's names and values. The C++ classes are declared in fmod.hpp.

#include <cstdint>

enum FMOD_RESULT
{
    FMOD_OK = 0,
    FMOD_ERR_CHANNEL_ALLOC = 10,
    FMOD_ERR_CHANNEL_STOLEN = 11,
    FMOD_ERR_FILE_BAD = 19,
    FMOD_ERR_FILE_NOTFOUND = 23,
    FMOD_ERR_FORMAT = 25,
    FMOD_ERR_INITIALIZATION = 31,
    FMOD_ERR_INITIALIZED = 32,
    FMOD_ERR_INTERNAL = 33,
    FMOD_ERR_INVALID_FLOAT = 35,
    FMOD_ERR_INVALID_HANDLE = 36,
    FMOD_ERR_INVALID_PARAM = 37,
    FMOD_ERR_INVALID_POSITION = 38,
    FMOD_ERR_MEMORY = 43,
    FMOD_ERR_OUTPUT_CREATEBUFFER = 56,
    FMOD_ERR_OUTPUT_INIT = 60,
    FMOD_ERR_UNIMPLEMENTED = 78,
    FMOD_ERR_UNINITIALIZED = 79,
};

// Library version 0xaaaabbcc: aaaa major, bb minor, cc development release (4.44.30).
constexpr unsigned int FMOD_VERSION = 0x00044430u;

enum FMOD_OUTPUTTYPE
{
    FMOD_OUTPUTTYPE_AUTODETECT = 0,
    FMOD_OUTPUTTYPE_UNKNOWN = 1,
    FMOD_OUTPUTTYPE_NOSOUND = 2,
};

enum FMOD_SPEAKERMODE
{
    FMOD_SPEAKERMODE_RAW = 0,
    FMOD_SPEAKERMODE_MONO = 1,
    FMOD_SPEAKERMODE_STEREO = 2,
    FMOD_SPEAKERMODE_QUAD = 3,
    FMOD_SPEAKERMODE_SURROUND = 4,
    FMOD_SPEAKERMODE_5POINT1 = 5,
    FMOD_SPEAKERMODE_7POINT1 = 6,
};

enum FMOD_SOUND_FORMAT
{
    FMOD_SOUND_FORMAT_NONE = 0,
    FMOD_SOUND_FORMAT_PCM8 = 1,
    FMOD_SOUND_FORMAT_PCM16 = 2,
    FMOD_SOUND_FORMAT_PCM24 = 3,
    FMOD_SOUND_FORMAT_PCM32 = 4,
    FMOD_SOUND_FORMAT_PCMFLOAT = 5,
    FMOD_SOUND_FORMAT_MPEG = 11,
};

enum FMOD_DSP_RESAMPLER
{
    FMOD_DSP_RESAMPLER_NOINTERP = 0,
    FMOD_DSP_RESAMPLER_LINEAR = 1,
    FMOD_DSP_RESAMPLER_CUBIC = 2,
    FMOD_DSP_RESAMPLER_SPLINE = 3,
};

// Only a first guess for createSound: the codec named here is tried first, then the others.
enum FMOD_SOUND_TYPE
{
    FMOD_SOUND_TYPE_UNKNOWN = 0,
    FMOD_SOUND_TYPE_MOD = 11,
    FMOD_SOUND_TYPE_MPEG = 12,
    FMOD_SOUND_TYPE_WAV = 19,
};

enum FMOD_DSP_FFT_WINDOW
{
    FMOD_DSP_FFT_WINDOW_RECT = 0,
    FMOD_DSP_FFT_WINDOW_TRIANGLE = 1,
    FMOD_DSP_FFT_WINDOW_HAMMING = 2,
    FMOD_DSP_FFT_WINDOW_HANNING = 3,
    FMOD_DSP_FFT_WINDOW_BLACKMAN = 4,
    FMOD_DSP_FFT_WINDOW_BLACKMANHARRIS = 5,
};

enum FMOD_CHANNELINDEX
{
    FMOD_CHANNEL_FREE = -1,
    FMOD_CHANNEL_REUSE = -2,
};

using FMOD_MODE = unsigned int;
constexpr FMOD_MODE FMOD_DEFAULT = 0x00000000u;
constexpr FMOD_MODE FMOD_LOOP_OFF = 0x00000001u;
constexpr FMOD_MODE FMOD_LOOP_NORMAL = 0x00000002u;
constexpr FMOD_MODE FMOD_LOOP_BIDI = 0x00000004u;
constexpr FMOD_MODE FMOD_2D = 0x00000008u;
constexpr FMOD_MODE FMOD_3D = 0x00000010u;
constexpr FMOD_MODE FMOD_HARDWARE = 0x00000020u;
constexpr FMOD_MODE FMOD_SOFTWARE = 0x00000040u;
constexpr FMOD_MODE FMOD_CREATESTREAM = 0x00000080u;
constexpr FMOD_MODE FMOD_CREATESAMPLE = 0x00000100u;
constexpr FMOD_MODE FMOD_CREATECOMPRESSEDSAMPLE = 0x00000200u;
constexpr FMOD_MODE FMOD_OPENUSER = 0x00000400u;
constexpr FMOD_MODE FMOD_OPENMEMORY = 0x00000800u;

using FMOD_CAPS = unsigned int;
constexpr FMOD_CAPS FMOD_CAPS_NONE = 0x00000000u;
constexpr FMOD_CAPS FMOD_CAPS_HARDWARE = 0x00000001u;
constexpr FMOD_CAPS FMOD_CAPS_HARDWARE_EMULATED = 0x00000002u;
constexpr FMOD_CAPS FMOD_CAPS_OUTPUT_MULTICHANNEL = 0x00000004u;

using FMOD_TIMEUNIT = unsigned int;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_MS = 0x00000001u;
constexpr FMOD_TIMEUNIT FMOD_TIMEUNIT_PCM = 0x00000002u;

using FMOD_INITFLAGS = unsigned int;
constexpr FMOD_INITFLAGS FMOD_INIT_NORMAL = 0x00000000u;

struct FMOD_VECTOR
{
    float x;
    float y;
    float z;
};

struct FMOD_GUID
{
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// Extra information for createSound. cbsize must be sizeof(FMOD_CREATESOUNDEXINFO); fields the
// caller does not use stay zero.
struct FMOD_CREATESOUNDEXINFO
{
    int cbsize;                         // sizeof(FMOD_CREATESOUNDEXINFO)
    unsigned int length;                // bytes of memory to read with FMOD_OPENMEMORY
    unsigned int fileoffset;            // bytes to skip at the start of the data
    FMOD_SOUND_TYPE suggestedsoundtype; // codec to try first; FMOD_SOUND_TYPE_UNKNOWN to probe
};
