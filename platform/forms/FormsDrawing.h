#pragma once
// The System.Drawing subset of the forms stand-in. Nothing is rasterised: every drawing call is
// recorded as a command on the surface of a bitmap or control, so tests read what a paint drew.
// Clear starts a new frame (the list becomes that one clear), so a surface holds exactly the last
// frame; a control's surface also starts empty at each paint. Drawing a bitmap records a copy of
// that bitmap's commands, which count against the surface's cap like its own. Images decoded from PNG (and
// the other formats the D3DX11 stand-in reads) keep their pixels. UI thread only, except that
// images may be decoded on any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace forms
{

struct Point
{
    int X = 0;
    int Y = 0;
};

struct Size
{
    int Width = 0;
    int Height = 0;
    bool operator==(const Size&) const = default;
};

struct Rectangle
{
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const Rectangle&) const = default;
};

// A colour as 0xAARRGGBB, with the named colours of the Windows palette.
struct Color
{
    std::uint32_t argb = 0;

    static constexpr Color FromArgb(int a, int r, int g, int b)
    {
        return {(std::uint32_t(a & 0xFF) << 24) | (std::uint32_t(r & 0xFF) << 16) |
                (std::uint32_t(g & 0xFF) << 8) | std::uint32_t(b & 0xFF)};
    }
    static constexpr Color FromArgb(int r, int g, int b) { return FromArgb(255, r, g, b); }
    constexpr std::uint32_t ToArgb() const { return argb; }
    constexpr int A() const { return int(argb >> 24); }
    constexpr int R() const { return int((argb >> 16) & 0xFF); }
    constexpr int G() const { return int((argb >> 8) & 0xFF); }
    constexpr int B() const { return int(argb & 0xFF); }
    bool operator==(const Color&) const = default;

    static const Color Transparent;
    static const Color White;
    static const Color Black;
    static const Color LightGray;
    static const Color Orange;
    static const Color Cyan;
    static const Color Red;
    static const Color DarkRed;
    static const Color DarkGreen;
    static const Color DarkBlue;
    static const Color Green;
};
inline constexpr Color Color::Transparent{0x00FFFFFFu};
inline constexpr Color Color::White{0xFFFFFFFFu};
inline constexpr Color Color::Black{0xFF000000u};
inline constexpr Color Color::LightGray{0xFFD3D3D3u};
inline constexpr Color Color::Orange{0xFFFFA500u};
inline constexpr Color Color::Cyan{0xFF00FFFFu};
inline constexpr Color Color::Red{0xFFFF0000u};
inline constexpr Color Color::DarkRed{0xFF8B0000u};
inline constexpr Color Color::DarkGreen{0xFF006400u};
inline constexpr Color Color::DarkBlue{0xFF00008Bu};
inline constexpr Color Color::Green{0xFF008000u};

struct Pen
{
    Pen(Color c, float width = 1.0f) : color(c), Width(width) {}
    Color color;
    float Width;
};

struct SolidBrush
{
    explicit SolidBrush(Color c) : color(c) {}
    Color color;
};

struct Font
{
    Font(std::string family, float sizeInPoints) : FamilyName(std::move(family)), SizeInPoints(sizeInPoints)
    {
    }
    std::string FamilyName;
    float SizeInPoints;
};

enum class StringAlignment
{
    Near,
    Center,
    Far,
};

struct StringFormat
{
    StringAlignment Alignment = StringAlignment::Near;     // horizontal
    StringAlignment LineAlignment = StringAlignment::Near; // vertical
};

enum class GraphicsUnit
{
    Pixel = 2,
};

// Only the alpha factor (Matrix33) of a colour matrix is honoured; the rest is identity.
struct ColorMatrix
{
    float Matrix33 = 1.0f;
};

class ImageAttributes
{
public:
    void SetColorMatrix(const ColorMatrix& matrix) { m_fAlpha = matrix.Matrix33; }
    float GetAlpha() const { return m_fAlpha; }

private:
    float m_fAlpha = 1.0f;
};

struct DrawCommand
{
    enum class Kind
    {
        Clear,
        Line,
        FillRectangle,
        String,
        Image,
    };
    Kind kind = Kind::Clear;
    Color color;        // clear colour, pen or brush colour
    float penWidth = 0; // Line
    float x1 = 0, y1 = 0, x2 = 0,
          y2 = 0;           // Line end points; FillRectangle and String: x1, y1 and size x2 x y2
    std::string text;       // String
    std::string fontFamily; // String
    float fontSize = 0;     // String
    StringFormat format;    // String
    // Image: where it went, which part of it, with which alpha, and what it showed.
    Rectangle destination;
    Rectangle source;
    float alpha = 1.0f;
    std::uint64_t imageId = 0;
    std::shared_ptr<const std::vector<DrawCommand>> pImageCommands; // copy of a bitmap's commands
};

// What a surface holds: the drawing commands since its last clear, oldest first.
class Surface
{
public:
    // Commands kept per surface, counting each command and every command the image copies it
    // carries hold (at any depth); a longer frame drops its older half until the new command fits.
    // A bitmap's surface keeps to the cap, so one copy of it exceeds it by one command at most.
    static constexpr std::size_t MAX_COMMANDS = 65536;

    const std::vector<DrawCommand>& Commands() const { return m_gCommands; }
    // Commands held, nested ones included; never above MAX_COMMANDS + 1.
    std::size_t GetHeldCount() const { return m_uiHeld; }
    // Commands dropped to keep the cap, nested ones included.
    std::size_t GetDroppedCount() const { return m_uiDropped; }
    int GetFlushCount() const { return m_iFlushes; }

    void Record(DrawCommand command);
    void Clear(Color color);
    // Empty, with no clear recorded: what a control shows before its paint draws anything.
    void Reset();
    void Flush() { ++m_iFlushes; }

private:
    std::vector<DrawCommand> m_gCommands;
    std::size_t m_uiHeld = 0;
    std::size_t m_uiDropped = 0;
    int m_iFlushes = 0;
};

// An image: a size, the decoded pixels when it came from a file (R8G8B8A8 rows, top row first),
// and a surface that records what was drawn on it (bitmaps).
class Image
{
public:
    Image(int width, int height);
    virtual ~Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    // Null when the bytes are no image of a known kind, or damaged.
    static std::shared_ptr<Image> FromBytes(const std::uint8_t* pData, std::size_t uiSize);
    static std::shared_ptr<Image> FromBytes(const std::vector<std::uint8_t>& bytes)
    {
        return FromBytes(bytes.data(), bytes.size());
    }

    int GetWidth() const { return m_iWidth; }
    int GetHeight() const { return m_iHeight; }
    Size GetSize() const { return {m_iWidth, m_iHeight}; }
    const std::vector<std::uint8_t>& GetPixels() const { return m_gPixels; }
    Surface& GetSurface() { return m_surface; }
    const Surface& GetSurface() const { return m_surface; }
    std::uint64_t GetId() const { return m_uiId; } // unique per image, for recorded references

private:
    Image(int width, int height, std::vector<std::uint8_t> pixels);

    std::vector<std::uint8_t> m_gPixels;
    int m_iWidth;
    int m_iHeight;
    std::uint64_t m_uiId;
    Surface m_surface;
};

class Bitmap : public Image
{
public:
    Bitmap(int width, int height) : Image(width, height) {}
};

// Draws by recording onto one surface (a bitmap's or a control's), which must outlive it.
class Graphics
{
public:
    explicit Graphics(Surface* pSurface) : m_pSurface(pSurface) {}
    static Graphics FromImage(Image& image) { return Graphics(&image.GetSurface()); }

    void Clear(Color color);
    void DrawLine(const Pen& pen, float x1, float y1, float x2, float y2);
    void FillRectangle(const SolidBrush& brush, float x, float y, float width, float height);
    void DrawString(const std::string& text, const Font& font, const SolidBrush& brush, float x, float y,
                    const StringFormat& format = {});
    // Layout rectangle form: the alignment applies inside the rectangle.
    void DrawString(const std::string& text, const Font& font, const SolidBrush& brush,
                    const Rectangle& layout, const StringFormat& format = {});
    void DrawImage(const Image& image, int x, int y);
    void DrawImage(const Image& image, const Rectangle& destination, int srcX, int srcY, int srcWidth,
                   int srcHeight, GraphicsUnit unit, const ImageAttributes& attributes);
    void Flush();

    Surface& GetSurface() { return *m_pSurface; }

private:
    void RecordString(const std::string& text, const Font& font, const SolidBrush& brush, float x, float y,
                      float width, float height, const StringFormat& format);

    Surface* m_pSurface; // not owned
};

} // namespace forms
