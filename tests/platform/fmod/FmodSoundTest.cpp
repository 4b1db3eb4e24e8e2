#include "tests/platform/fmod/FmodTestFixture.h"

#include "tests/support/TestAudioFiles.h"

#include <algorithm>
#include <memory>

using FmodSound = FmodTest;

namespace
{

unsigned int LengthMs(FMOD::Sound* pSound)
{
    unsigned int ms = 0;
    EXPECT_EQ(pSound->getLength(&ms, FMOD_TIMEUNIT_MS), FMOD_OK);
    return ms;
}

void PutU32(std::vector<std::uint8_t>& data, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        data.at(at + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

TEST_F(FmodSound, WavOfEverySampleFormatDecodesToTheSameSpectrum)
{
    InitSystem();
    // 1 s of a sine on band 16 of a 256-band analysis (16 x 8000 / 512 Hz), at half scale.
    const std::vector<float> sine = TestAudioFiles::MakeSine(2, 8000, 8000, 250.0, 0.5f);
    struct Case
    {
        int bits;
        bool isFloat;
        bool extensible;
    };
    const Case cases[] = {{8, false, false},  {16, false, false}, {24, false, false},
                          {32, false, false}, {32, true, false},  {16, false, true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(testing::Message() << c.bits << " bits" << (c.isFloat ? " float" : "")
                                        << (c.extensible ? " extensible" : ""));
        FMOD::Sound* pSound = nullptr;
        ASSERT_EQ(CreateSound(TestAudioFiles::MakeWav(2, 8000, c.bits, c.isFloat, sine, c.extensible),
                              FMOD_CREATESAMPLE, &pSound),
                  FMOD_OK);
        EXPECT_EQ(LengthMs(pSound), 1000u);
        unsigned int pcm = 0;
        EXPECT_EQ(pSound->getLength(&pcm, FMOD_TIMEUNIT_PCM), FMOD_OK);
        EXPECT_EQ(pcm, 8000u);

        FMOD::Channel* pChannel = nullptr;
        ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, &pChannel), FMOD_OK);
        ASSERT_EQ(pChannel->setPosition(500, FMOD_TIMEUNIT_MS), FMOD_OK);
        std::vector<float> spectrum(256, -1.0f);
        ASSERT_EQ(pChannel->getSpectrum(spectrum.data(), 256, 1, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
        const auto peak = std::max_element(spectrum.begin(), spectrum.end());
        EXPECT_EQ(peak - spectrum.begin(), 16);
        EXPECT_NEAR(*peak, 0.5f, c.bits == 8 ? 0.01f : 0.001f);
        EXPECT_LT(spectrum[40], 0.01f);
        EXPECT_EQ(pSound->release(), FMOD_OK);
    }
}

TEST_F(FmodSound, TheCallersBufferIsNotKept)
{
    InitSystem();
    auto data = std::make_unique<std::vector<std::uint8_t>>(
        TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 4000, 250.0, 1.0f)));
    FMOD::Sound* pSound = nullptr;
    ASSERT_EQ(CreateSound(*data, FMOD_CREATESAMPLE, &pSound), FMOD_OK);
    std::fill(data->begin(), data->end(), std::uint8_t{0});
    data.reset(); // AddressSanitizer reports any later read of it

    FMOD::Channel* pChannel = nullptr;
    ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, true, &pChannel), FMOD_OK);
    pChannel->setPosition(250, FMOD_TIMEUNIT_MS);
    std::vector<float> spectrum(256);
    ASSERT_EQ(pChannel->getSpectrum(spectrum.data(), 256, 0, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_GT(spectrum[16], 0.99f);
    EXPECT_EQ(pSound->release(), FMOD_OK);
}

TEST_F(FmodSound, DamagedOrUnknownDataIsRefused)
{
    InitSystem();
    const std::vector<std::uint8_t> good =
        TestAudioFiles::MakeWav(1, 8000, 16, false, TestAudioFiles::MakeSine(1, 8000, 100, 250.0, 0.5f));
    FMOD::Sound* pSound = nullptr;

    std::vector<std::uint8_t> text(500, 'a');
    EXPECT_EQ(CreateSound(text, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FORMAT);

    std::vector<std::uint8_t> adpcm = good;
    adpcm[20] = 2; // format tag: ADPCM
    EXPECT_EQ(CreateSound(adpcm, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FORMAT);

    std::vector<std::uint8_t> badAlign = good;
    badAlign[32] = 3; // block align that does not fit one 16-bit channel
    EXPECT_EQ(CreateSound(badAlign, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FILE_BAD);

    std::vector<std::uint8_t> hugeFmt = good;
    PutU32(hugeFmt, 16, 0xFFFFFFF0u); // fmt chunk larger than the file
    EXPECT_EQ(CreateSound(hugeFmt, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FILE_BAD);

    std::vector<std::uint8_t> noData(good.begin(), good.begin() + 36);
    EXPECT_EQ(CreateSound(noData, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FILE_BAD);

    std::vector<std::uint8_t> noChannels = good;
    noChannels[22] = 0;
    EXPECT_EQ(CreateSound(noChannels, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FILE_BAD);
    EXPECT_EQ(pSound, nullptr);

    // A data chunk claiming more than the file holds is read as far as it goes.
    std::vector<std::uint8_t> cut = good;
    PutU32(cut, 40, 0xFFFFFFFFu);
    cut.resize(cut.size() - 40); // 20 of the 100 frames missing
    ASSERT_EQ(CreateSound(cut, FMOD_CREATESAMPLE, &pSound), FMOD_OK);
    unsigned int pcm = 0;
    pSound->getLength(&pcm, FMOD_TIMEUNIT_PCM);
    EXPECT_EQ(pcm, 80u);
    EXPECT_EQ(pSound->release(), FMOD_OK);
}

TEST_F(FmodSound, Mp3LengthComesFromItsFrames)
{
    InitSystem();
    // 100 frames of 1152 samples at 44100 Hz: 2612.2 ms.
    struct Case
    {
        const char* name;
        std::vector<std::uint8_t> data;
        unsigned int expectedMs;
    };
    std::vector<std::uint8_t> withTrailer = TestAudioFiles::MakeMp3(100);
    const char trailer[] = "TAG and the rest of an ID3v1 trailer";
    withTrailer.insert(withTrailer.end(), trailer, trailer + sizeof trailer);
    std::vector<std::uint8_t> damaged = TestAudioFiles::MakeMp3(100);
    damaged[50 * TestAudioFiles::MP3_FRAME_BYTES + 1] = 0x00; // frame 50 loses its sync
    const Case cases[] = {
        {"plain", TestAudioFiles::MakeMp3(100), 2612},
        {"ID3v2 tag full of frames", TestAudioFiles::MakeMp3(100, 3000), 2612},
        {"Info header", TestAudioFiles::MakeMp3(3, 0, 1000), 26122},
        {"ID3v1 trailer", withTrailer, 2612},
        {"one damaged frame", damaged, 2586},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        FMOD::Sound* pSound = nullptr;
        ASSERT_EQ(CreateSound(c.data, FMOD_CREATESAMPLE, &pSound), FMOD_OK);
        EXPECT_EQ(LengthMs(pSound), c.expectedMs);
        EXPECT_EQ(pSound->release(), FMOD_OK);
    }

    // Not decoded: the spectrum is silent.
    FMOD::Sound* pSound = nullptr;
    ASSERT_EQ(CreateSound(TestAudioFiles::MakeMp3(100), FMOD_CREATESAMPLE, &pSound, FMOD_SOUND_TYPE_MPEG),
              FMOD_OK);
    FMOD::Channel* pChannel = nullptr;
    ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pSound, false, &pChannel), FMOD_OK);
    std::vector<float> spectrum(64, 1.0f);
    EXPECT_EQ(pChannel->getSpectrum(spectrum.data(), 64, 1, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_EQ(*std::max_element(spectrum.begin(), spectrum.end()), 0.0f);
    EXPECT_EQ(pSound->release(), FMOD_OK);

    // A lone frame header in other data is no MP3.
    std::vector<std::uint8_t> stray(2000, 0);
    stray[100] = 0xFF;
    stray[101] = 0xFB;
    stray[102] = 0x90;
    EXPECT_EQ(CreateSound(stray, FMOD_CREATESAMPLE, &pSound), FMOD_ERR_FORMAT);
}

TEST_F(FmodSound, SpectrumChecksItsArgumentsAndHonoursInjection)
{
    InitSystem();
    FMOD::Sound* pMono = nullptr;
    ASSERT_EQ(CreateSound(TestAudioFiles::MakeWav(1, 8000, 16, false,
                                                  TestAudioFiles::MakeSine(1, 8000, 32000, 500.0, 1.0f)),
                          FMOD_CREATESAMPLE, &pMono),
              FMOD_OK);
    FMOD::Channel* pChannel = nullptr;
    ASSERT_EQ(m_pSystem->playSound(FMOD_CHANNEL_FREE, pMono, true, &pChannel), FMOD_OK);
    pChannel->setPosition(2000, FMOD_TIMEUNIT_MS);
    std::vector<float> spectrum(8192);
    for (int bad : {0, 32, 100, 16384})
    {
        EXPECT_EQ(pChannel->getSpectrum(spectrum.data(), bad, 0, FMOD_DSP_FFT_WINDOW_RECT),
                  FMOD_ERR_INVALID_PARAM)
            << bad;
    }
    EXPECT_EQ(pChannel->getSpectrum(spectrum.data(), 64, 2, FMOD_DSP_FFT_WINDOW_RECT),
              FMOD_ERR_INVALID_PARAM);
    EXPECT_EQ(pChannel->getSpectrum(spectrum.data(), 8192, 0, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_GT(spectrum[1024], 0.99f); // 500 Hz at 8000 / 16384 Hz per band

    // A mono sound shows the same on both output channels.
    std::vector<float> right(256);
    ASSERT_EQ(pChannel->getSpectrum(spectrum.data(), 256, 0, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    ASSERT_EQ(pChannel->getSpectrum(right.data(), 256, 1, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_EQ(std::vector<float>(spectrum.begin(), spectrum.begin() + 256), right);

    FmodControl::SetSpectrum(1, {0.9f, 0.1f});
    ASSERT_EQ(pChannel->getSpectrum(right.data(), 256, 1, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_EQ(right[0], 0.9f);
    EXPECT_EQ(right[1], 0.1f);
    EXPECT_EQ(right[255], 0.0f);
    ASSERT_EQ(pChannel->getSpectrum(spectrum.data(), 256, 0, FMOD_DSP_FFT_WINDOW_RECT), FMOD_OK);
    EXPECT_GT(spectrum[32], 0.99f); // offset 0 still analysed
    EXPECT_EQ(pMono->release(), FMOD_OK);
}
