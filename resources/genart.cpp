// Build step: draws the skin of Movrant's login dialog, main window and download form as 24-bit
// bitmaps of the sizes they expect, so that no binary artwork lives in the repository.
//
//   genart <output folder> [<layout template> <layout>]
// writes frame_login.bmp (542 x 250), home_page.bmp (372 x 11, four images of 93 x 11),
// btn_login.bmp and btn_cancel.bmp (284 x 27, four images of 71 x 27), the download form's title,
// buttons, bar pieces and animation, and the main window's buttons. With a layout template,
// every line "@GLYPH name@" in it becomes the binary property value of that bitmap (the form
// resource stores the buttons' image strips itself), and the result is written to <layout>.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rgb {
  uint8_t r, g, b;
};

class Image {
 public:
  Image(int w, int h, Rgb fill) : w_(w), h_(h), px_(size_t(w) * size_t(h), fill) {}
  int width() const { return w_; }
  int height() const { return h_; }
  void Set(int x, int y, Rgb c) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) px_[size_t(y) * size_t(w_) + size_t(x)] = c;
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) Set(x, y, c);
  }
  void Frame(int x0, int y0, int x1, int y1, Rgb c) {
    for (int x = x0; x < x1; ++x) Set(x, y0, c), Set(x, y1 - 1, c);
    for (int y = y0; y < y1; ++y) Set(x0, y, c), Set(x1 - 1, y, c);
  }
  // Vertical gradient from top to bottom colour.
  void Gradient(int x0, int y0, int x1, int y1, Rgb top, Rgb bottom) {
    for (int y = y0; y < y1; ++y) {
      double t = (y1 - y0 > 1) ? double(y - y0) / double(y1 - y0 - 1) : 0.0;
      Rgb c{uint8_t(top.r + (bottom.r - top.r) * t), uint8_t(top.g + (bottom.g - top.g) * t),
            uint8_t(top.b + (bottom.b - top.b) * t)};
      for (int x = x0; x < x1; ++x) Set(x, y, c);
    }
  }
  std::vector<uint8_t> Encode() const {
    int row = (w_ * 3 + 3) & ~3;
    uint32_t dataSize = uint32_t(row) * uint32_t(h_);
    std::vector<uint8_t> out(54 + dataSize, 0);
    auto put16 = [&](size_t at, uint32_t v) { out[at] = uint8_t(v), out[at + 1] = uint8_t(v >> 8); };
    auto put32 = [&](size_t at, uint32_t v) { put16(at, v & 0xFFFF), put16(at + 2, v >> 16); };
    out[0] = 'B', out[1] = 'M';
    put32(2, uint32_t(out.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(w_));
    put32(22, uint32_t(h_));
    put16(26, 1);
    put16(28, 24);
    put32(34, dataSize);
    put32(38, 2835);
    put32(42, 2835);
    for (int y = 0; y < h_; ++y) {
      size_t at = 54 + size_t(h_ - 1 - y) * size_t(row);
      for (int x = 0; x < w_; ++x) {
        Rgb c = px_[size_t(y) * size_t(w_) + size_t(x)];
        out[at++] = c.b, out[at++] = c.g, out[at++] = c.r;
      }
    }
    return out;
  }
  bool Save(const std::string& path) const {
    std::vector<uint8_t> out = Encode();
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(out.data()), std::streamsize(out.size()));
    return bool(f);
  }

 private:
  int w_, h_;
  std::vector<Rgb> px_;
};

// A 5 x 7 pixel font for the few capitals the skin writes, one literal per row of five.
const char* Glyph(char ch) {
  switch (ch) {
    case 'A': return " ### " "#   #" "#   #" "#####" "#   #" "#   #" "#   #";
    case 'C': return " ####" "#    " "#    " "#    " "#    " "#    " " ####";
    case 'D': return "#### " "#   #" "#   #" "#   #" "#   #" "#   #" "#### ";
    case 'E': return "#####" "#    " "#### " "#    " "#    " "#    " "#####";
    case 'F': return "#####" "#    " "#### " "#    " "#    " "#    " "#    ";
    case 'G': return " ####" "#    " "#    " "#  ##" "#   #" "#   #" " ####";
    case 'H': return "#   #" "#   #" "#####" "#   #" "#   #" "#   #" "#   #";
    case 'I': return " ### " "  #  " "  #  " "  #  " "  #  " "  #  " " ### ";
    case 'L': return "#    " "#    " "#    " "#    " "#    " "#    " "#####";
    case 'M': return "#   #" "## ##" "# # #" "#   #" "#   #" "#   #" "#   #";
    case 'N': return "#   #" "##  #" "# # #" "#  ##" "#   #" "#   #" "#   #";
    case 'O': return " ### " "#   #" "#   #" "#   #" "#   #" "#   #" " ### ";
    case 'P': return "#### " "#   #" "#   #" "#### " "#    " "#    " "#    ";
    case 'R': return "#### " "#   #" "#   #" "#### " "# #  " "#  # " "#   #";
    case 'S': return " ####" "#    " "#    " " ### " "    #" "    #" "#### ";
    case 'T': return "#####" "  #  " "  #  " "  #  " "  #  " "  #  " "  #  ";
    case 'U': return "#   #" "#   #" "#   #" "#   #" "#   #" "#   #" " ### ";
    case 'V': return "#   #" "#   #" "#   #" "#   #" "#   #" " # # " "  #  ";
    case 'W': return "#   #" "#   #" "#   #" "#   #" "# # #" "## ##" "#   #";
    default: return nullptr;
  }
}

int TextWidth(const std::string& text, int scale) { return int(text.size()) * 6 * scale - scale; }

void Text(Image& img, int x, int y, const std::string& text, Rgb c, int scale = 1) {
  for (char ch : text) {
    if (const char* g = Glyph(ch)) {
      for (int r = 0; r < 7; ++r)
        for (int col = 0; col < 5; ++col)
          if (g[r * 5 + col] == '#') img.Fill(x + col * scale, y + r * scale, x + (col + 1) * scale, y + (r + 1) * scale, c);
    }
    x += 6 * scale;
  }
}

const Rgb kNavy{18, 32, 64}, kDeep{8, 14, 30}, kSteel{70, 96, 140}, kPanel{228, 234, 242}, kWhite{255, 255, 255},
    kSilver{192, 192, 192}, kAmber{240, 170, 40}, kGrey{150, 150, 150}, kKey{255, 0, 255};

Image FrameLogin() {
  Image img(542, 250, kNavy);
  img.Gradient(0, 0, 542, 250, kNavy, kDeep);
  img.Frame(0, 0, 542, 250, kSteel);
  img.Fill(0, 30, 542, 32, kAmber);                  // title rule
  Text(img, 16, 9, "MOVRANT", kWhite, 2);
  img.Fill(30, 100, 250, 170, kPanel);              // data versions, written in black
  img.Frame(30, 100, 250, 170, kSteel);
  img.Fill(280, 100, 482, 200, kPanel);             // login panel behind the inputs
  img.Frame(280, 100, 482, 200, kSteel);
  img.Fill(240, 113, 296, 131, kPanel);             // caption tabs next to the inputs
  img.Fill(240, 141, 296, 159, kPanel);
  Text(img, 244, 118, "ID", kNavy);
  Text(img, 244, 146, "PW", kNavy);
  img.Fill(28, 205, 510, 245, Rgb{12, 20, 42});     // file and progress area
  img.Frame(28, 205, 510, 245, kSteel);
  return img;
}

// The title strip of the download form.
Image Title() {
  Image img(742, 70, kNavy);
  img.Gradient(0, 0, 742, 70, kSteel, kNavy);
  img.Fill(0, 66, 742, 70, kAmber);
  Text(img, 20, 18, "MOVRANT", kWhite, 3);
  Text(img, 20 + TextWidth("MOVRANT", 3) + 16, 32, "DATA UPDATE", kSilver, 2);
  return img;
}

// The three pieces of a row's progress bar: left cap, body (stretched), right cap.
Image BarPiece(int w, Rgb c) {
  Image img(w, 12, c);
  img.Fill(0, 0, w, 1, Rgb{uint8_t(c.r / 2), uint8_t(c.g / 2), uint8_t(c.b / 2)});
  img.Fill(0, 11, w, 12, Rgb{uint8_t(c.r / 2), uint8_t(c.g / 2), uint8_t(c.b / 2)});
  return img;
}

// Four frames of a turning marker.
Image Animation() {
  Image img(64, 16, kKey);
  for (int i = 0; i < 4; ++i) {
    img.Frame(i * 16 + 2, 2, i * 16 + 14, 14, kSteel);
    int x = i * 16 + (i == 0 || i == 3 ? 4 : 9), y = i < 2 ? 4 : 9;
    img.Fill(x, y, x + 3, y + 3, kAmber);
  }
  return img;
}

// Four images side by side: up, disabled, pressed, pressed in a group. The bottom-left pixel
// of the strip is the transparent colour.
Image Strip(int w, int h, const std::string& caption, bool small) {
  Image img(w * 4, h, kKey);
  for (int i = 0; i < 4; ++i) {
    int x0 = i * w;
    Rgb face = i == 1 ? Rgb{120, 120, 120} : (i >= 2 ? Rgb{200, 130, 20} : kAmber);
    Rgb ink = i == 1 ? Rgb{200, 200, 200} : kNavy;
    if (small) {
      ink = i == 1 ? kGrey : (i >= 2 ? kAmber : kSilver);
      int tx = x0 + (w - TextWidth(caption, 1)) / 2;
      Text(img, tx + (i >= 2), 2 + (i >= 2), caption, ink);
      continue;
    }
    img.Fill(x0 + 1, 1, x0 + w - 1, h - 1, face);
    img.Frame(x0 + 1, 1, x0 + w - 1, h - 1, i >= 2 ? kDeep : kWhite);
    int tx = x0 + (w - TextWidth(caption, 1)) / 2 + (i >= 2);
    Text(img, tx, (h - 7) / 2 + (i >= 2), caption, ink);
  }
  img.Set(0, h - 1, kKey);
  return img;
}

// A bitmap as the form format stores it: {hex} of a 4-byte length and the bitmap file.
std::string GlyphProperty(const Image& img, const std::string& indent) {
  std::vector<uint8_t> bmp = img.Encode();
  std::vector<uint8_t> data;
  uint32_t n = uint32_t(bmp.size());
  for (int i = 0; i < 4; ++i) data.push_back(uint8_t(n >> (8 * i)));
  data.insert(data.end(), bmp.begin(), bmp.end());
  static const char* hex = "0123456789ABCDEF";
  std::string out = "{";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i % 32 == 0) out += "\n" + indent + "  ";
    out += hex[data[i] >> 4];
    out += hex[data[i] & 15];
  }
  return out + "}";
}

bool WriteLayout(const std::string& templatePath, const std::string& outPath,
                 const std::vector<std::pair<std::string, Image>>& glyphs) {
  std::ifstream in(templatePath);
  if (!in) return false;
  std::string out, line;
  while (std::getline(in, line)) {
    size_t at = line.find("@GLYPH ");
    if (at != std::string::npos) {
      size_t end = line.find('@', at + 1);
      std::string name = line.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
      const Image* img = nullptr;
      for (const auto& g : glyphs)
        if (g.first == name) img = &g.second;
      if (!img) {
        std::fprintf(stderr, "genart: no glyph named %s\n", name.c_str());
        return false;
      }
      line = line.substr(0, at) + GlyphProperty(*img, line.substr(0, line.find_first_not_of(' ')));
    }
    out += line + "\n";
  }
  std::ofstream f(outPath, std::ios::binary | std::ios::trunc);
  f << out;
  return bool(f);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: genart <output folder> [<layout template> <layout>]\n");
    return 2;
  }
  std::string dir = argv[1];
  bool ok = FrameLogin().Save(dir + "/frame_login.bmp") && Strip(93, 11, "HOME PAGE", true).Save(dir + "/home_page.bmp") &&
            Strip(71, 27, "LOGIN", false).Save(dir + "/btn_login.bmp") &&
            Strip(71, 27, "CANCEL", false).Save(dir + "/btn_cancel.bmp") && Title().Save(dir + "/title.bmp") &&
            Strip(120, 40, "DOWNLOAD", false).Save(dir + "/btn_down.bmp") &&
            Strip(120, 40, "PAUSE", false).Save(dir + "/btn_pause.bmp") &&
            Strip(100, 26, "FOLDER", false).Save(dir + "/btn_folder.bmp") &&
            Strip(156, 33, "CAMERA DATA", false).Save(dir + "/btn_camera.bmp") &&
            Strip(89, 33, "CLOSE", false).Save(dir + "/btn_close.bmp") &&
            Strip(89, 33, "HELP", false).Save(dir + "/btn_help.bmp") &&
            BarPiece(2, Rgb{20, 90, 200}).Save(dir + "/pb_left.bmp") &&
            BarPiece(4, Rgb{70, 150, 240}).Save(dir + "/pb_body.bmp") &&
            BarPiece(5, Rgb{30, 60, 160}).Save(dir + "/pb_right.bmp") && Animation().Save(dir + "/animation.bmp");
  if (!ok) {
    std::fprintf(stderr, "genart: cannot write into %s\n", dir.c_str());
    return 1;
  }
  if (argc == 4 && !WriteLayout(argv[2], argv[3], {{"btn_login", Strip(71, 27, "LOGIN", false)},
                                                    {"btn_cancel", Strip(71, 27, "CANCEL", false)}})) {
    std::fprintf(stderr, "genart: cannot write the layout %s\n", argv[3]);
    return 1;
  }
  return 0;
}
