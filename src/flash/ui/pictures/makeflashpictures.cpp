// Draws the flash page's pictures (the flash button in its four states and the three
// phase indicators) and writes them as JPEG data into a C++ source for the program.
// Run by the build; needs nothing but libjpeg, so the pictures are ours and need no
// files from anywhere.
//
//   makeflashpictures OUTPUT.cpp
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Rgb
{
    unsigned char r, g, b;
};

class Canvas
{
public:
    Canvas(int w, int h, Rgb fill) : m_w(w), m_h(h), m_px(std::size_t(w) * std::size_t(h), fill) {}
    int width() const { return m_w; }
    int height() const { return m_h; }
    void set(int x, int y, Rgb c)
    {
        if (x >= 0 && y >= 0 && x < m_w && y < m_h)
            m_px[std::size_t(y) * std::size_t(m_w) + std::size_t(x)] = c;
    }
    void rect(int x0, int y0, int x1, int y1, Rgb c) // inclusive corners
    {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                set(x, y, c);
    }
    void frame(int x0, int y0, int x1, int y1, Rgb light, Rgb dark)
    {
        for (int x = x0; x <= x1; ++x) {
            set(x, y0, light);
            set(x, y1, dark);
        }
        for (int y = y0; y <= y1; ++y) {
            set(x0, y, light);
            set(x1, y, dark);
        }
    }
    // A 5x7 glyph per character, scaled by s.
    void text(int x, int y, const char *s, Rgb c, int scale = 1);
    std::vector<unsigned char> rgbRows() const
    {
        std::vector<unsigned char> out;
        out.reserve(m_px.size() * 3);
        for (const Rgb &p : m_px) {
            out.push_back(p.r);
            out.push_back(p.g);
            out.push_back(p.b);
        }
        return out;
    }

private:
    int m_w, m_h;
    std::vector<Rgb> m_px;
};

// Only the letters the pictures use; rows top to bottom, bit 4 leftmost.
const unsigned char *glyph(char ch)
{
    static const unsigned char A[7] = {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
    static const unsigned char B[7] = {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E};
    static const unsigned char F[7] = {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10};
    static const unsigned char G[7] = {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F};
    static const unsigned char H[7] = {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
    static const unsigned char L[7] = {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F};
    static const unsigned char M[7] = {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11};
    static const unsigned char O[7] = {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E};
    static const unsigned char P[7] = {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10};
    static const unsigned char R[7] = {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11};
    static const unsigned char S[7] = {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E};
    static const unsigned char T[7] = {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04};
    static const unsigned char blank[7] = {0, 0, 0, 0, 0, 0, 0};
    switch (ch) {
    case 'A': return A;
    case 'B': return B;
    case 'F': return F;
    case 'G': return G;
    case 'H': return H;
    case 'L': return L;
    case 'M': return M;
    case 'O': return O;
    case 'P': return P;
    case 'R': return R;
    case 'S': return S;
    case 'T': return T;
    default: return blank;
    }
}

void Canvas::text(int x, int y, const char *s, Rgb c, int scale)
{
    for (; *s; ++s, x += 6 * scale) {
        const unsigned char *g = glyph(*s);
        for (int row = 0; row < 7; ++row)
            for (int col = 0; col < 5; ++col)
                if (g[row] & (0x10 >> col))
                    rect(x + col * scale, y + row * scale, x + col * scale + scale - 1, y + row * scale + scale - 1, c);
    }
}

int textWidth(const char *s, int scale = 1)
{
    return int(std::strlen(s)) * 6 * scale - scale;
}

// The flash button: the two active regions (program at x 40-72, y 52-77; boot loader at
// x 40-72, y 112-138) drawn as keys with their captions above them.
Canvas flashButton(int state)
{
    const bool disabled = state == 0;
    const Rgb panel = disabled ? Rgb{200, 200, 200} : Rgb{214, 224, 236};
    const Rgb ink = disabled ? Rgb{150, 150, 150} : Rgb{20, 40, 90};
    Canvas c(112, 160, panel);
    c.frame(0, 0, 111, 159, Rgb{255, 255, 255}, Rgb{110, 110, 110});
    c.text((112 - textWidth("FLASH", 2)) / 2, 8, "FLASH", ink, 2);
    c.text((112 - textWidth("PROGRAM")) / 2, 42, "PROGRAM", ink);
    c.text((112 - textWidth("BOOT")) / 2, 102, "BOOT", ink);

    const auto key = [&](int y0, int y1, bool pressed, bool bootKey) {
        const Rgb face = disabled ? Rgb{175, 175, 175}
                         : pressed ? Rgb{230, 140, 20}
                         : bootKey ? Rgb{70, 120, 200}
                                   : Rgb{40, 160, 70};
        c.rect(40, y0, 72, y1, face);
        if (pressed)
            c.frame(40, y0, 72, y1, Rgb{90, 50, 0}, Rgb{255, 220, 160});
        else
            c.frame(40, y0, 72, y1, Rgb{255, 255, 255}, Rgb{60, 60, 60});
        // A down arrow: the image goes into the unit.
        const Rgb arrow = disabled ? Rgb{210, 210, 210} : Rgb{255, 255, 255};
        const int cx = 56 + (pressed ? 1 : 0);
        const int top = y0 + 5 + (pressed ? 1 : 0);
        c.rect(cx - 2, top, cx + 2, top + 8, arrow);
        for (int i = 0; i < 6; ++i)
            c.rect(cx - 6 + i, top + 9 + i, cx + 6 - i, top + 9 + i, arrow);
    };
    key(52, 77, state == 2, false);
    key(112, 138, state == 3, true);
    return c;
}

// The phase indicators: erasing (a struck-out block), downloading (an arrow into a
// bar), rebooting (a ring with a gap).
Canvas phase(int which)
{
    Canvas c(24, 24, Rgb{255, 255, 255});
    switch (which) {
    case 0:
        c.rect(3, 5, 20, 18, Rgb{200, 40, 40});
        for (int i = 0; i < 14; ++i)
            c.rect(4 + i, 5 + i, 5 + i, 5 + i, Rgb{255, 255, 255});
        break;
    case 1:
        c.rect(10, 2, 13, 11, Rgb{30, 90, 200});
        for (int i = 0; i < 6; ++i)
            c.rect(6 + i, 12 + i, 17 - i, 12 + i, Rgb{30, 90, 200});
        c.rect(3, 20, 20, 22, Rgb{30, 90, 200});
        break;
    default:
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x) {
                const int dx = x - 12, dy = y - 12;
                const int d = dx * dx + dy * dy;
                if (d >= 49 && d <= 100 && !(dx > 0 && dy < 0 && dx > -dy / 2))
                    c.set(x, y, Rgb{30, 150, 60});
            }
        c.rect(17, 3, 21, 7, Rgb{30, 150, 60});
        break;
    }
    return c;
}

std::vector<unsigned char> encode(const Canvas &canvas)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr); // a failure here ends the build step, which is what we want
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(canvas.width());
    cinfo.image_height = JDIMENSION(canvas.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const std::vector<unsigned char> rows = canvas.rgbRows();
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rows[std::size_t(cinfo.next_scanline) * std::size_t(canvas.width()) * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<unsigned char> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeflashpictures OUTPUT.cpp\n");
        return 2;
    }
    std::vector<std::vector<unsigned char>> pictures;
    for (int state = 0; state < 4; ++state)
        pictures.push_back(encode(flashButton(state)));
    for (int p = 0; p < 3; ++p)
        pictures.push_back(encode(phase(p)));

    std::string src = "// Generated by makeflashpictures: the flash page's JPEG pictures.\n"
                      "#include <cstddef>\n\nnamespace vork::flashpicturedata {\n\n"
                      "extern const unsigned char *const data[];\nextern const std::size_t sizes[];\n"
                      "extern const std::size_t count;\n\n";
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        src += "static const unsigned char picture" + std::to_string(i) + "[] = {";
        for (std::size_t k = 0; k < pictures[i].size(); ++k) {
            if (k % 20 == 0)
                src += "\n   ";
            src += " " + std::to_string(pictures[i][k]) + ",";
        }
        src += "\n};\n";
    }
    src += "\nconst unsigned char *const data[] = {";
    for (std::size_t i = 0; i < pictures.size(); ++i)
        src += "picture" + std::to_string(i) + ", ";
    src += "};\nconst std::size_t sizes[] = {";
    for (std::size_t i = 0; i < pictures.size(); ++i)
        src += "sizeof picture" + std::to_string(i) + ", ";
    src += "};\nconst std::size_t count = " + std::to_string(pictures.size()) + ";\n\n}\n";

    std::FILE *f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(src.data(), 1, src.size(), f) != src.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "makeflashpictures: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
