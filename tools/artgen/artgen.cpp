// Build-time generator of the picture resources: the four caption-button bitmaps and the icon.
// Usage: artgen <output folder> [--skin]   (--skin also writes skin.bmp, for review only)
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "image_files.h"
#include "ui/toolkit/artwork.h"

namespace {

using tarnvik::art::files::Bytes;

bool WriteFile(const std::string& path, const Bytes& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "artgen: cannot create %s\n", path.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) std::fprintf(stderr, "artgen: cannot write %s\n", path.c_str());
  return written && closed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || (argc == 3 && std::strcmp(argv[2], "--skin") != 0)) {
    std::fprintf(stderr, "usage: artgen <output folder> [--skin]\n");
    return 2;
  }
  namespace art = tarnvik::art;
  using tarnvik::toolkit::PictureId;
  const std::string folder = std::string(argv[1]) + "/";

  struct Button {
    const char* file;
    PictureId picture;
  };
  const Button buttons[] = {{"close_normal.bmp", PictureId::CloseNormal},
                            {"close_hot.bmp", PictureId::CloseHot},
                            {"minimise_normal.bmp", PictureId::MinimiseNormal},
                            {"minimise_hot.bmp", PictureId::MinimiseHot}};
  bool ok = true;
  for (const Button& button : buttons)
    ok = WriteFile(folder + button.file, art::files::EncodeBmp24(art::DrawCaptionButton(button.picture))) && ok;

  std::vector<art::Bitmap> icons;
  for (const int size : art::kIconSizes) icons.push_back(art::DrawIcon(size));
  ok = WriteFile(folder + "tarnvik.ico", art::files::EncodeIco(icons)) && ok;

  if (argc == 3) ok = WriteFile(folder + "skin.bmp", art::files::EncodeBmp24(art::DrawSkin())) && ok;
  return ok ? 0 : 1;
}
