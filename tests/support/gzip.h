// Test helper: text compressed as gzip, as project files are written.
#pragma once

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace talvern::test {

inline std::string gzip(std::string_view text) {
  z_stream zs{};
  if (deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&zs, text.size()) + 32, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  zs.avail_in = static_cast<uInt>(text.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  const int ret = deflate(&zs, Z_FINISH);
  out.resize(zs.total_out);
  deflateEnd(&zs);
  if (ret != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

// A small project file's text: two groups of four points and one labelled
// like the first, which only "#3" can choose.
inline constexpr char kSmallProject[] =
    "# a project file\n"
    "$old_group = 'abcde';\n"
    "@args = ('bkg_e0','7112','label','Fe foil','is_xmu',1);\n"
    "@x = ('7100','7110','7120','7130');\n"
    "@y = ('0.1','0.5','1.2','1.0');\n"
    "$old_group = 'fghij';\n"
    "@args = ('label' => 'Fe \\'oxide\\'');  # a comment\n"
    "@x = (7100,7110.5,7121,7131.0);\n"
    "@y = (0.12,0.48,1.25,1.01,);\n"
    "@stddev = ( );\n"
    "$old_group = 'klmno';\n"
    "@args = ('label','Fe foil');\n"
    "@x = ('7000');\n"
    "@y = ('2');\n"
    "1;\n";

}  // namespace talvern::test
