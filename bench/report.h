// The figures a benchmark run produces and the two forms they are written in:
// a JSON list for machines and a Markdown table for people.
#pragma once

#include <string>
#include <vector>

struct Figure {
  std::string name;      // stable key, e.g. "frame.cards3"
  std::string what;      // what was measured, in words
  double value = 0.0;    // median of the repetitions
  std::string unit;      // of value and floor
  double floor = 0.0;    // the same work done the cheapest honest way, same run
  std::string floorWhat; // what the floor is, in words
  double ratio = 0.0;    // value / floor; value - floor where the floor is 0
  std::string target;    // "<= 1.1", ">= 0.8", or "info" for itemised parts
};

// The middle value (mean of the two middle ones for an even count); 0 for none.
double Median(std::vector<double> samples);

// value / floor; a floor of 0 (counts that should be none) gives the excess.
double RatioOf(double value, double floor);

enum class TargetState { Holds, Misses, NoTarget, Unreadable };

// Reads "<= X", "< X", ">= X", "> X" or "== X" and applies it to `ratio`;
// "info" (or an empty string) is no target.
TargetState CheckTarget(const std::string &target, double ratio);

// Builds a figure with its ratio filled in.
Figure MakeFigure(std::string name, std::string what, double value, std::string unit, double floor,
                  std::string floorWhat, std::string target);

// A JSON string literal, quotes included.
std::string JsonString(const std::string &text);
// The list of figures: one object per figure with name, value, unit, floor,
// ratio, target (and the two descriptions); non-finite numbers become null.
std::string FiguresToJson(const std::vector<Figure> &figures);
// One Markdown table, a row per figure, with whether its target holds.
std::string FiguresToMarkdown(const std::vector<Figure> &figures);
