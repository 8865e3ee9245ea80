// The timeline's table: the order and row each step waits for and the card it
// reveals. Constant data alone, so that the module tool can check a module
// against the very table the scene runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr uint32_t anyRow = 0xFFFFFFFFu;
constexpr int32_t noCard = -1;

struct Transition {
  int32_t from;
  uint32_t order;   // must be equal
  uint32_t rowFrom; // row must be at least this; anyRow: only the order is tested
  int32_t card;     // revealed, or noCard
  int32_t to;
};

constexpr std::array<Transition, 41> transitions = {{
    {-1, 0, 63, 0, 0},        {0, 0, 127, 1, 1},         {1, 0, 191, 2, 2},
    {2, 1, anyRow, 3, 3},     {3, 1, 63, 4, 4},          {4, 1, 127, 5, 5},
    {5, 1, 191, 6, 6},        {6, 2, anyRow, 7, 7},      {7, 2, 63, 8, 8},
    {8, 2, 127, 9, 9},        {9, 2, 191, 10, 10},       {10, 3, anyRow, 11, 11},
    {11, 3, 63, 12, 12},      {12, 3, 127, 13, 13},      {13, 3, 191, 14, 14},
    {14, 4, anyRow, 15, 15},  {15, 4, 63, 16, 16},       {16, 4, 127, 17, 17},
    {17, 4, 191, 18, 18},     {18, 5, anyRow, 19, 19},   {19, 5, 63, 20, 20},
    {20, 5, 127, 21, 21},     {21, 5, 191, 22, 22},      {22, 6, anyRow, 23, 23},
    {23, 6, 63, 24, 24},      {24, 6, 127, 25, 25},      {25, 6, 191, 26, 26},
    {26, 7, anyRow, 27, 27},  {27, 7, 63, 28, 28},       {28, 7, 127, 29, 29},
    {29, 8, anyRow, 30, 30},  {30, 8, 63, 31, 31},       {31, 8, 127, 32, 32},
    {32, 8, 191, 33, 33},     {33, 9, anyRow, 34, 34},   {34, 9, 63, 35, 35},
    {35, 9, 127, 36, 36},     {36, 9, 191, 37, 37},      {37, 10, 127, 38, 38},
    {38, 11, anyRow, 39, 39}, {39, 11, 127, noCard, 40},
}};

// The last step: it reveals no card but arms the end, after which the first
// frame at order 0 ends the show.
constexpr int32_t endArmedStep = 40;

constexpr bool OrderedByStep() {
  for (size_t i = 0; i < transitions.size(); ++i)
    if (transitions[i].from != static_cast<int32_t>(i) - 1) return false;
  return true;
}
static_assert(OrderedByStep(), "the row for step k must be entry k + 1");
static_assert(transitions.back().to == endArmedStep && transitions.back().card == noCard,
              "the last entry arms the end");

constexpr bool Holds(const Transition &t, uint32_t order, uint32_t row) {
  return order == t.order && (t.rowFrom == anyRow || row >= t.rowFrom);
}
