// Writes the broken pictures that the fault tests build into copies of the
// intro: a font sheet the loader must refuse and a card cut short.
// Usage: make_fault_pictures IMAGES_DIR OUT_DIR
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_fault_pictures IMAGES_DIR OUT_DIR\n");
    return 2;
  }
  std::string images = argv[1], out = argv[2];
  auto read = [](const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  };
  auto write = [](const std::string &path, const std::vector<char> &bytes) {
    std::ofstream o(path, std::ios::binary);
    o.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(o);
  };
  std::vector<char> font = read(images + "/DATA_FONT2.tga");
  std::vector<char> card = read(images + "/DATA_1.jpg");
  if (font.size() < 18 || card.size() < 1000) {
    std::fprintf(stderr, "make_fault_pictures: cannot read the pictures in %s\n", images.c_str());
    return 1;
  }
  font[16] = 16;                     // a 16-bit picture: not one the loader accepts
  card.resize(card.size() * 6 / 10); // cut inside the entropy-coded data
  bool ok = write(out + "/font/DATA_FONT2.tga", font) && write(out + "/cut/DATA_1.jpg", card);
  return ok ? 0 : 1;
}
