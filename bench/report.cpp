#include "bench/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

double Median(std::vector<double> samples) {
  if (samples.empty()) return 0.0;
  std::sort(samples.begin(), samples.end());
  size_t n = samples.size();
  return n % 2 == 1 ? samples[n / 2] : 0.5 * (samples[n / 2 - 1] + samples[n / 2]);
}

double RatioOf(double value, double floor) { return floor == 0.0 ? value : value / floor; }

TargetState CheckTarget(const std::string &target, double ratio) {
  if (target.empty() || target == "info") return TargetState::NoTarget;
  size_t at = 0;
  std::string op;
  while (at < target.size() && (target[at] == '<' || target[at] == '>' || target[at] == '='))
    op += target[at++];
  if (op != "<=" && op != "<" && op != ">=" && op != ">" && op != "==")
    return TargetState::Unreadable;
  const char *begin = target.c_str() + at;
  char *end = nullptr;
  double limit = std::strtod(begin, &end);
  if (end == begin) return TargetState::Unreadable;
  while (*end == ' ') ++end;
  if (*end != '\0') return TargetState::Unreadable;
  if (!std::isfinite(ratio)) return TargetState::Misses;
  bool holds = op == "<="   ? ratio <= limit
               : op == "<"  ? ratio < limit
               : op == ">=" ? ratio >= limit
               : op == ">"  ? ratio > limit
                            : ratio == limit;
  return holds ? TargetState::Holds : TargetState::Misses;
}

Figure MakeFigure(std::string name, std::string what, double value, std::string unit, double floor,
                  std::string floorWhat, std::string target) {
  Figure f;
  f.name = std::move(name);
  f.what = std::move(what);
  f.value = value;
  f.unit = std::move(unit);
  f.floor = floor;
  f.floorWhat = std::move(floorWhat);
  f.ratio = RatioOf(value, floor);
  f.target = std::move(target);
  return f;
}

std::string JsonString(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\t': out += "\\t"; break;
    case '\r': out += "\\r"; break;
    default:
      if (c < 0x20) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
        out += escaped;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out + "\"";
}

namespace {

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";
  char text[40];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

// Three significant digits at most, never in exponent form.
std::string Short(double v) {
  if (!std::isfinite(v)) return "n/a";
  char text[40];
  double magnitude = std::fabs(v);
  int decimals = magnitude >= 100 ? 0 : magnitude >= 10 ? 1 : magnitude >= 1 ? 2 : 3;
  if (v == 0.0) decimals = 0;
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

const char *Verdict(const Figure &f) {
  switch (CheckTarget(f.target, f.ratio)) {
  case TargetState::Holds: return "holds";
  case TargetState::Misses: return "**misses**";
  case TargetState::NoTarget: return "–";
  case TargetState::Unreadable: break;
  }
  return "?";
}

} // namespace

std::string FiguresToJson(const std::vector<Figure> &figures) {
  std::string out = "[\n";
  for (size_t i = 0; i < figures.size(); ++i) {
    const Figure &f = figures[i];
    out += "  {\"name\": " + JsonString(f.name) + ", \"value\": " + JsonNumber(f.value) +
           ", \"unit\": " + JsonString(f.unit) + ", \"floor\": " + JsonNumber(f.floor) +
           ", \"ratio\": " + JsonNumber(f.ratio) + ", \"target\": " + JsonString(f.target) +
           ", \"what\": " + JsonString(f.what) + ", \"floor_is\": " + JsonString(f.floorWhat) + "}";
    out += i + 1 < figures.size() ? ",\n" : "\n";
  }
  return out + "]\n";
}

std::string FiguresToMarkdown(const std::vector<Figure> &figures) {
  std::string out = "| figure | what | value | floor | floor is | ratio | target | |\n"
                    "| --- | --- | ---: | ---: | --- | ---: | --- | --- |\n";
  for (const Figure &f : figures) {
    out += "| `" + f.name + "` | " + f.what + " | " + Short(f.value) + " " + f.unit + " | " +
           Short(f.floor) + " " + f.unit + " | " + f.floorWhat + " | " + Short(f.ratio) + " | " +
           (f.target.empty() ? "info" : f.target) + " | " + Verdict(f) + " |\n";
  }
  return out;
}
