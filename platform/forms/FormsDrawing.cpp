#include "platform/forms/FormsDrawing.h"

#include "platform/d3dx11/D3DX11Codecs.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstddef>
#include <utility>

namespace forms
{

namespace
{
// The command itself and every command its image copy holds.
std::size_t CountCommands(const DrawCommand& command)
{
    std::size_t uiCount = 1;
    if (command.pImageCommands)
        for (const DrawCommand& nested : *command.pImageCommands)
            uiCount += CountCommands(nested);
    return uiCount;
}
} // namespace

void Surface::Record(DrawCommand command)
{
    const std::size_t uiCost = CountCommands(command);
    while (!m_gCommands.empty() && m_uiHeld + uiCost > MAX_COMMANDS)
    {
        // A surface nobody clears (a banner faded in for hours) must not grow without bound; the
        // older half goes at once so that recording stays cheap.
        const std::size_t uiGoing = (m_gCommands.size() + 1) / 2;
        std::size_t uiGone = 0;
        for (std::size_t i = 0; i < uiGoing; ++i)
            uiGone += CountCommands(m_gCommands[i]);
        m_gCommands.erase(m_gCommands.begin(), m_gCommands.begin() + std::ptrdiff_t(uiGoing));
        m_uiHeld -= uiGone;
        m_uiDropped += uiGone;
    }
    m_gCommands.push_back(std::move(command));
    m_uiHeld += uiCost;
}

void Surface::Clear(Color color)
{
    Reset();
    DrawCommand command;
    command.kind = DrawCommand::Kind::Clear;
    command.color = color;
    m_gCommands.push_back(std::move(command));
    m_uiHeld = 1;
}

void Surface::Reset()
{
    m_gCommands.clear();
    m_uiHeld = 0;
}

namespace
{
std::uint64_t NextImageId()
{
    static std::atomic<std::uint64_t> s_uiLast{0};
    return ++s_uiLast;
}
} // namespace

Image::Image(int width, int height)
    : m_iWidth(width < 0 ? 0 : width), m_iHeight(height < 0 ? 0 : height), m_uiId(NextImageId())
{
}

Image::Image(int width, int height, std::vector<std::uint8_t> pixels) : Image(width, height)
{
    m_gPixels = std::move(pixels);
}

std::shared_ptr<Image> Image::FromBytes(const std::uint8_t* pData, std::size_t uiSize)
{
    d3dx11_internal::Image decoded;
    if (FAILED(d3dx11_internal::DecodeImage(pData, uiSize, false, &decoded)))
        return nullptr;
    if (decoded.dimension != D3D11_RESOURCE_DIMENSION_TEXTURE2D || decoded.surfaces.empty() ||
        decoded.width > INT_MAX || decoded.height > INT_MAX)
        return nullptr;
    // Only the first picture is an image here: the top level of the first item.
    decoded.mipLevels = 1;
    decoded.arraySize = 1;
    decoded.cube = false;
    decoded.surfaces.resize(1);
    if (FAILED(d3dx11_internal::ConvertImage(&decoded, DXGI_FORMAT_R8G8B8A8_UNORM)))
        return nullptr;
    const d3dx11_internal::Surface& surface = decoded.surfaces[0];
    const std::size_t rowBytes = std::size_t{decoded.width} * 4;
    if (surface.rowPitch < rowBytes || surface.Size() < std::size_t{surface.rowPitch} * decoded.height)
        return nullptr;
    std::vector<std::uint8_t> pixels(rowBytes * decoded.height);
    for (UINT y = 0; y < decoded.height; ++y)
    {
        const std::uint8_t* pRow = surface.Data() + std::size_t{y} * surface.rowPitch;
        std::copy(pRow, pRow + rowBytes, pixels.begin() + std::ptrdiff_t(rowBytes * y));
    }
    return std::shared_ptr<Image>(new Image(int(decoded.width), int(decoded.height), std::move(pixels)));
}

void Graphics::Clear(Color color)
{
    m_pSurface->Clear(color);
}

void Graphics::DrawLine(const Pen& pen, float x1, float y1, float x2, float y2)
{
    DrawCommand command;
    command.kind = DrawCommand::Kind::Line;
    command.color = pen.color;
    command.penWidth = pen.Width;
    command.x1 = x1;
    command.y1 = y1;
    command.x2 = x2;
    command.y2 = y2;
    m_pSurface->Record(std::move(command));
}

void Graphics::FillRectangle(const SolidBrush& brush, float x, float y, float width, float height)
{
    DrawCommand command;
    command.kind = DrawCommand::Kind::FillRectangle;
    command.color = brush.color;
    command.x1 = x;
    command.y1 = y;
    command.x2 = width;
    command.y2 = height;
    m_pSurface->Record(std::move(command));
}

void Graphics::DrawString(const std::string& text, const Font& font, const SolidBrush& brush, float x,
                          float y, const StringFormat& format)
{
    RecordString(text, font, brush, x, y, 0.0f, 0.0f, format);
}

void Graphics::DrawString(const std::string& text, const Font& font, const SolidBrush& brush,
                          const Rectangle& layout, const StringFormat& format)
{
    RecordString(text, font, brush, float(layout.X), float(layout.Y), float(layout.Width),
                 float(layout.Height), format);
}

void Graphics::RecordString(const std::string& text, const Font& font, const SolidBrush& brush, float x,
                            float y, float width, float height, const StringFormat& format)
{
    DrawCommand command;
    command.kind = DrawCommand::Kind::String;
    command.color = brush.color;
    command.x1 = x;
    command.y1 = y;
    command.x2 = width;
    command.y2 = height;
    command.text = text;
    command.fontFamily = font.FamilyName;
    command.fontSize = font.SizeInPoints;
    command.format = format;
    m_pSurface->Record(std::move(command));
}

void Graphics::DrawImage(const Image& image, int x, int y)
{
    DrawImage(image, {x, y, image.GetWidth(), image.GetHeight()}, 0, 0, image.GetWidth(), image.GetHeight(),
              GraphicsUnit::Pixel, ImageAttributes());
}

void Graphics::DrawImage(const Image& image, const Rectangle& destination, int srcX, int srcY, int srcWidth,
                         int srcHeight, GraphicsUnit, const ImageAttributes& attributes)
{
    DrawCommand command;
    command.kind = DrawCommand::Kind::Image;
    command.destination = destination;
    command.source = {srcX, srcY, srcWidth, srcHeight};
    command.alpha = attributes.GetAlpha();
    command.imageId = image.GetId();
    // A copy, so that later drawing on the bitmap does not change what this frame showed.
    if (&image.GetSurface() != m_pSurface)
        command.pImageCommands =
            std::make_shared<const std::vector<DrawCommand>>(image.GetSurface().Commands());
    m_pSurface->Record(std::move(command));
}

void Graphics::Flush()
{
    m_pSurface->Flush();
}

} // namespace forms
