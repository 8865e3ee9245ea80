// A small, strict JSON reader for the benchmark's output: enough to tell a
// well-formed document from a broken one and to look at its values.
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

struct JsonValue {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool flag = false;
  double number = 0.0;
  std::string text;
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  const JsonValue *Member(const std::string &key) const {
    for (const auto &m : members)
      if (m.first == key) return &m.second;
    return nullptr;
  }
};

class JsonReader {
public:
  explicit JsonReader(std::string text) : s_(std::move(text)) {}

  // The whole text must be one value, with nothing after it but spaces.
  bool Read(JsonValue *out) {
    at_ = 0;
    if (!Value(out, 0)) return false;
    Spaces();
    return at_ == s_.size();
  }

private:
  std::string s_;
  size_t at_ = 0;

  void Spaces() {
    while (at_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[at_]))) ++at_;
  }
  bool Literal(const char *word) {
    size_t n = std::string(word).size();
    if (s_.compare(at_, n, word) != 0) return false;
    at_ += n;
    return true;
  }
  bool Str(std::string *out) {
    if (at_ >= s_.size() || s_[at_] != '"') return false;
    ++at_;
    while (at_ < s_.size() && s_[at_] != '"') {
      unsigned char c = static_cast<unsigned char>(s_[at_++]);
      if (c < 0x20) return false;
      if (c != '\\') {
        out->push_back(static_cast<char>(c));
        continue;
      }
      if (at_ >= s_.size()) return false;
      char e = s_[at_++];
      switch (e) {
      case '"': out->push_back('"'); break;
      case '\\': out->push_back('\\'); break;
      case '/': out->push_back('/'); break;
      case 'n': out->push_back('\n'); break;
      case 't': out->push_back('\t'); break;
      case 'r': out->push_back('\r'); break;
      case 'b': out->push_back('\b'); break;
      case 'f': out->push_back('\f'); break;
      case 'u': {
        if (at_ + 4 > s_.size()) return false;
        std::string hex = s_.substr(at_, 4);
        for (char h : hex)
          if (!std::isxdigit(static_cast<unsigned char>(h))) return false;
        long code = std::strtol(hex.c_str(), nullptr, 16);
        if (code > 0x7F) return false; // the writer only escapes control characters
        out->push_back(static_cast<char>(code));
        at_ += 4;
        break;
      }
      default: return false;
      }
    }
    if (at_ >= s_.size()) return false;
    ++at_;
    return true;
  }
  bool Num(double *out) {
    size_t start = at_;
    if (at_ < s_.size() && s_[at_] == '-') ++at_;
    if (at_ >= s_.size() || !std::isdigit(static_cast<unsigned char>(s_[at_]))) return false;
    while (at_ < s_.size() &&
           (std::isdigit(static_cast<unsigned char>(s_[at_])) || s_[at_] == '.' || s_[at_] == 'e' ||
            s_[at_] == 'E' || s_[at_] == '+' || s_[at_] == '-'))
      ++at_;
    std::string token = s_.substr(start, at_ - start);
    char *end = nullptr;
    *out = std::strtod(token.c_str(), &end);
    return end == token.c_str() + token.size();
  }
  bool Value(JsonValue *out, int depth) {
    if (depth > 32) return false;
    Spaces();
    if (at_ >= s_.size()) return false;
    char c = s_[at_];
    if (c == '{') {
      out->kind = JsonValue::Object;
      ++at_;
      Spaces();
      if (at_ < s_.size() && s_[at_] == '}') return ++at_, true;
      for (;;) {
        Spaces();
        std::string key;
        if (!Str(&key)) return false;
        Spaces();
        if (at_ >= s_.size() || s_[at_++] != ':') return false;
        JsonValue v;
        if (!Value(&v, depth + 1)) return false;
        out->members.emplace_back(std::move(key), std::move(v));
        Spaces();
        if (at_ >= s_.size()) return false;
        if (s_[at_] == ',') {
          ++at_;
          continue;
        }
        return s_[at_++] == '}';
      }
    }
    if (c == '[') {
      out->kind = JsonValue::Array;
      ++at_;
      Spaces();
      if (at_ < s_.size() && s_[at_] == ']') return ++at_, true;
      for (;;) {
        JsonValue v;
        if (!Value(&v, depth + 1)) return false;
        out->items.push_back(std::move(v));
        Spaces();
        if (at_ >= s_.size()) return false;
        if (s_[at_] == ',') {
          ++at_;
          continue;
        }
        return s_[at_++] == ']';
      }
    }
    if (c == '"') return out->kind = JsonValue::String, Str(&out->text);
    if (Literal("null")) return out->kind = JsonValue::Null, true;
    if (Literal("true")) return out->kind = JsonValue::Bool, out->flag = true, true;
    if (Literal("false")) return out->kind = JsonValue::Bool, true;
    out->kind = JsonValue::Number;
    return Num(&out->number);
  }
};
