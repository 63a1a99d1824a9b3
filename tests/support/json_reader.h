// Test helper: a JSON reader for what talvern-cli prints with --json,
// strict about the grammar (numbers as JSON writes them, nothing after the
// value), so that a report that is not JSON fails the test that reads it.
// Strings hold no escapes: a report of ours never needs them.
#pragma once

#include <cctype>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talvern::test {

// A JSON value; an object keeps its keys in order.
struct Json {
  enum class Kind { null, boolean, number, string, array, object } kind = Kind::null;
  bool boolean = false;
  double number = 0;
  std::string string;
  std::vector<Json> items;                            // of an array
  std::vector<std::pair<std::string, Json>> members;  // of an object

  const Json& operator[](const std::string& key) const {
    static const Json none;
    for (const auto& m : members)
      if (m.first == key) return m.second;
    return none;
  }
  // The kinds of the value and of everything in it, keys in order:
  // {"key":n,...}, [...], n a number, s a string, b true or false, null.
  std::string shape() const {
    switch (kind) {
      case Kind::null: return "null";
      case Kind::boolean: return "b";
      case Kind::number: return "n";
      case Kind::string: return "s";
      case Kind::array: break;
      case Kind::object: break;
    }
    std::string s(1, kind == Kind::array ? '[' : '{');
    for (const Json& item : items) s.append(s.size() > 1 ? "," : "").append(item.shape());
    for (const auto& [key, value] : members)
      s.append(s.size() > 1 ? ",\"" : "\"").append(key).append("\":").append(value.shape());
    return s.append(1, kind == Kind::array ? ']' : '}');
  }
};

// The whole text as one JSON value; nothing when it is not exactly that.
class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : t_(text) {}
  std::optional<Json> read() {
    Json v;
    if (!value(v) || (space(), at_ != t_.size())) return std::nullopt;
    return v;
  }

 private:
  void space() {
    while (at_ < t_.size() && std::string_view(" \t\r\n").find(t_[at_]) != std::string_view::npos) ++at_;
  }
  bool take(char c) {
    space();
    return at_ < t_.size() && t_[at_] == c && ++at_;
  }
  bool word(std::string_view w) { return t_.substr(at_, w.size()) == w && (at_ += w.size()); }
  std::size_t digits(std::size_t& end) const {
    const std::size_t from = end;
    while (end < t_.size() && std::isdigit(static_cast<unsigned char>(t_[end]))) ++end;
    return end - from;
  }
  bool string(std::string& out) {
    if (!take('"')) return false;
    for (; at_ < t_.size() && t_[at_] != '"'; ++at_) {
      if (t_[at_] == '\\' || static_cast<unsigned char>(t_[at_]) < 0x20) return false;
      out += t_[at_];
    }
    return at_ < t_.size() && t_[at_++] == '"';
  }
  // -?(0|[1-9][0-9]*)(.[0-9]+)?([eE][+-]?[0-9]+)?
  bool number(double& out) {
    std::size_t end = at_ + (t_[at_] == '-');
    const std::size_t first = end, whole = digits(end);
    if (whole == 0 || (whole > 1 && t_[first] == '0')) return false;
    if (end < t_.size() && t_[end] == '.' && digits(++end) == 0) return false;
    if (end < t_.size() && (t_[end] == 'e' || t_[end] == 'E')) {
      if (++end < t_.size() && (t_[end] == '+' || t_[end] == '-')) ++end;
      if (digits(end) == 0) return false;
    }
    const auto res = std::from_chars(t_.data() + at_, t_.data() + end, out);
    at_ = end;
    return res.ec == std::errc() && res.ptr == t_.data() + end;
  }
  bool value(Json& v) {
    space();
    if (at_ >= t_.size()) return false;
    using K = Json::Kind;
    if (take('{')) {
      v.kind = K::object;
      if (take('}')) return true;
      do {
        v.members.emplace_back();
        if (!string(v.members.back().first) || !take(':') || !value(v.members.back().second)) return false;
      } while (take(','));
      return take('}');
    }
    if (take('[')) {
      v.kind = K::array;
      if (take(']')) return true;
      do {
        v.items.emplace_back();
        if (!value(v.items.back())) return false;
      } while (take(','));
      return take(']');
    }
    if (t_[at_] == '"') return v.kind = K::string, string(v.string);
    if (word("true")) return v.kind = K::boolean, v.boolean = true;
    if (word("false")) return v.kind = K::boolean, true;
    if (word("null")) return true;
    return v.kind = K::number, number(v.number);
  }

  std::string_view t_;
  std::size_t at_ = 0;
};

}  // namespace talvern::test
