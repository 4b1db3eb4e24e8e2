#include "platform/forms/FormsDrawing.h"
#include "platform/forms/FormsForm.h"
#include "tests/platform/forms/FormsTestFixture.h"

#include <cstdint>
#include <vector>

using namespace forms;

namespace
{
// A 2 x 1 RGBA PNG (red, then half-transparent blue), stored uncompressed.
std::vector<std::uint8_t> TinyPng()
{
    return {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52,
            0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xF4, 0x22, 0x7F,
            0x8A, 0x00, 0x00, 0x00, 0x14, 0x49, 0x44, 0x41, 0x54, 0x78, 0x01, 0x01, 0x09, 0x00, 0xF6, 0xFF,
            0x00, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80, 0x0F, 0x7A, 0x03, 0x7E, 0x4A, 0x6E, 0x70,
            0x0C, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
}

// Every command a list holds, the copies drawn images carry included.
std::size_t CountHeld(const std::vector<DrawCommand>& commands)
{
    std::size_t uiCount = commands.size();
    for (const DrawCommand& command : commands)
        if (command.pImageCommands)
            uiCount += CountHeld(*command.pImageCommands);
    return uiCount;
}
} // namespace

TEST_F(FormsTest, NamedColoursHaveTheirArgbValues)
{
    EXPECT_EQ(Color::LightGray.ToArgb(), 0xFFD3D3D3u);
    EXPECT_EQ(Color::Orange.ToArgb(), 0xFFFFA500u);
    EXPECT_EQ(Color::Cyan.ToArgb(), 0xFF00FFFFu);
    EXPECT_EQ(Color::DarkRed.ToArgb(), 0xFF8B0000u);
    EXPECT_EQ(Color::DarkGreen.ToArgb(), 0xFF006400u);
    EXPECT_EQ(Color::DarkBlue.ToArgb(), 0xFF00008Bu);
    EXPECT_EQ(Color::Green.ToArgb(), 0xFF008000u);
    EXPECT_EQ(Color::FromArgb(128, 255, 0, 16).ToArgb(), 0x80FF0010u);
    EXPECT_EQ(Color::FromArgb(1, 2, 3).A(), 255);
}

TEST_F(FormsTest, GraphicsRecordsEachCallAndAClearStartsANewFrame)
{
    Bitmap bitmap(64, 32);
    Graphics graphics = Graphics::FromImage(bitmap);
    graphics.Clear(Color::White);
    graphics.DrawLine(Pen(Color::Orange, 2), 10, 0, 10, 31);
    for (int i = 0; i < 5; ++i)
        graphics.FillRectangle(SolidBrush(Color::Red), float(i * 10 - 2), 8, 5, 5);
    StringFormat centred;
    centred.Alignment = StringAlignment::Center;
    centred.LineAlignment = StringAlignment::Far;
    graphics.DrawString("1.500", Font("Calibri", 9), SolidBrush(Color::Black), 32, 30, centred);
    graphics.Flush();

    const std::vector<DrawCommand>& commands = bitmap.GetSurface().Commands();
    ASSERT_EQ(commands.size(), 8u);
    EXPECT_EQ(commands[0].kind, DrawCommand::Kind::Clear);
    EXPECT_EQ(commands[1].kind, DrawCommand::Kind::Line);
    EXPECT_EQ(commands[1].color, Color::Orange);
    EXPECT_EQ(commands[1].penWidth, 2.0f);
    EXPECT_EQ(commands[1].x1, 10.0f);
    EXPECT_EQ(commands[2].x1, -2.0f);
    EXPECT_EQ(commands[6].x2, 5.0f);
    EXPECT_EQ(commands[7].text, "1.500");
    EXPECT_EQ(commands[7].fontFamily, "Calibri");
    EXPECT_EQ(commands[7].format.Alignment, StringAlignment::Center);
    EXPECT_EQ(commands[7].format.LineAlignment, StringAlignment::Far);
    EXPECT_EQ(bitmap.GetSurface().GetFlushCount(), 1);

    graphics.Clear(Color::Black);
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].color, Color::Black);
}

TEST_F(FormsTest, DrawingABitmapRecordsACopyOfItsFrameWithAlpha)
{
    Bitmap banner(305, 80);
    Graphics::FromImage(banner).Clear(Color::Cyan);
    Form form;
    PictureBox* pBox = form.AddNew<PictureBox>("pictureBoxBanner");
    pBox->SetSize(305, 80);
    Graphics graphics = pBox->CreateGraphics();
    ColorMatrix matrix;
    matrix.Matrix33 = 0.5f;
    ImageAttributes attributes;
    attributes.SetColorMatrix(matrix);
    graphics.DrawImage(banner, {0, 0, 305, 80}, 0, 0, 305, 80, GraphicsUnit::Pixel, attributes);
    Graphics::FromImage(banner).Clear(Color::Red);

    const DrawCommand& drawn = pBox->GetSurface().Commands().back();
    EXPECT_EQ(drawn.kind, DrawCommand::Kind::Image);
    EXPECT_EQ(drawn.alpha, 0.5f);
    EXPECT_EQ(drawn.imageId, banner.GetId());
    ASSERT_TRUE(drawn.pImageCommands);
    EXPECT_EQ(drawn.pImageCommands->at(0).color, Color::Cyan) << "what the bitmap showed when drawn";

    // Setting the image repaints the box with it, stretched in StretchImage mode.
    pBox->SetSizeMode(PictureBoxSizeMode::StretchImage);
    auto pImage = std::make_shared<Bitmap>(100, 40);
    pBox->SetImage(pImage);
    const std::vector<DrawCommand>& commands = pBox->GetSurface().Commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[1].destination, (Rectangle{0, 0, 305, 80}));
    EXPECT_EQ(commands[1].source, (Rectangle{0, 0, 100, 40}));
    EXPECT_EQ(commands[1].alpha, 1.0f);
}

TEST_F(FormsTest, ImagesDecodeThroughTheSharedDecoderAndRejectDamagedBytes)
{
    const std::vector<std::uint8_t> png = TinyPng();
    std::shared_ptr<Image> pImage = Image::FromBytes(png);
    ASSERT_TRUE(pImage);
    EXPECT_EQ(pImage->GetSize(), (Size{2, 1}));
    EXPECT_EQ(pImage->GetPixels(),
              (std::vector<std::uint8_t>{0xFF, 0x00, 0x00, 0xFF, 0x00, 0x00, 0xFF, 0x80}));

    for (std::size_t cut : {std::size_t{0}, std::size_t{8}, std::size_t{20}, png.size() - 20})
        EXPECT_FALSE(Image::FromBytes(png.data(), cut)) << "cut at " << cut;
    std::vector<std::uint8_t> damaged = png;
    damaged[16] = 0x7F; // an absurd width
    EXPECT_FALSE(Image::FromBytes(damaged));
    EXPECT_FALSE(Image::FromBytes(nullptr, 0));
}

TEST_F(FormsTest, ASurfaceNobodyClearsStaysBounded)
{
    Bitmap bitmap(1, 1);
    Graphics graphics = Graphics::FromImage(bitmap);
    for (std::size_t i = 0; i < Surface::MAX_COMMANDS + 10; ++i)
        graphics.DrawLine(Pen(Color::Red), float(i), 0, 0, 0);
    const Surface& surface = bitmap.GetSurface();
    EXPECT_LE(surface.Commands().size(), Surface::MAX_COMMANDS);
    EXPECT_EQ(surface.Commands().size() + surface.GetDroppedCount(), Surface::MAX_COMMANDS + 10);
    EXPECT_EQ(surface.Commands().back().x1, float(Surface::MAX_COMMANDS + 9)) << "the newest are kept";
}

TEST_F(FormsTest, TheCapCountsTheCommandsDrawnImagesCarry)
{
    // A bitmap of 1,000 commands drawn 200 times onto a surface nobody clears: 200,200 commands
    // in all, far beyond the cap though only 200 of them are at the top level.
    Bitmap buffer(100, 100);
    Graphics bufferGraphics = Graphics::FromImage(buffer);
    bufferGraphics.Clear(Color::White);
    for (int i = 0; i < 999; ++i)
        bufferGraphics.DrawLine(Pen(Color::Black), float(i), 0, 0, 0);
    ASSERT_EQ(buffer.GetSurface().GetHeldCount(), 1000u);

    Bitmap target(100, 100);
    Graphics graphics = Graphics::FromImage(target);
    for (int i = 0; i < 200; ++i)
        graphics.DrawImage(buffer, i, 0);
    const Surface& surface = target.GetSurface();
    EXPECT_LE(CountHeld(surface.Commands()), Surface::MAX_COMMANDS);
    EXPECT_EQ(surface.GetHeldCount(), CountHeld(surface.Commands()));
    EXPECT_EQ(surface.GetHeldCount() + surface.GetDroppedCount(), 200u * 1001u) << "every drop is counted";
    EXPECT_EQ(surface.Commands().back().destination.X, 199) << "the newest are kept";

    // A clear starts the count again.
    graphics.Clear(Color::Black);
    EXPECT_EQ(surface.GetHeldCount(), 1u);
}
