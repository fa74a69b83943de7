// The MSP layouts mspforge writes, each for the tool that reads the
// library (--for), as data: which line holds which fact, under which key,
// in which unit. The NIST layout is the classic one (writeMspRecord); the
// others are read whole by MS-DIAL, matchms and OpenMS:
//   - keys in capitals, one spelling each (mssearchr refuses a file that
//     holds a key twice in any letter case); NAME first, Num Peaks last;
//   - structures, retention time, CCS and instrument on lines of their
//     own, where the readers look for them, not among the comments;
//   - every other header field on COMMENTS as quoted "KEY=value" pairs,
//     the only form matchms takes apart;
//   - peak lines as two numbers in plain decimal digits.
#pragma once

#include <array>
#include <span>
#include <string_view>

#include "mspforge/mspforge.h"

namespace mspforge {

// Where the value of a line comes from; the first source that gives a
// value that is not blank wins.
enum class LineSource {
  None,           // (an unused slot)
  LibraryField,   // a field the translation made, by its MSP key
  HeaderField,    // an MGF header line of this key as read, taken off the
                  // comments
  IonModeWord,    // "Positive" or "Negative", from Ion_mode, else from the
                  // sign of the Precursor_type written
  RetentionTime,  // RTINSECONDS or RTINMINUTES, in the layout's unit
};

struct ValueSource {
  LineSource from = LineSource::None;
  std::string_view name;
};

struct LayoutLine {
  std::string_view key;
  std::array<ValueSource, 3> sources;
};

enum class TimeUnit { Seconds, Minutes };

struct LibraryLayoutRow {
  LibraryLayout layout;
  std::string_view name;           // as --for takes it
  std::string_view tool;           // what reads it, for --help and docs
  std::span<const LayoutLine> lines;  // empty: the classic NIST layout
  TimeUnit retentionTime;
  bool uniqueNames;  // a repeated name gets " #2", " #3" ... (OpenMS
                     // keeps only the first spectrum of a name)
};

// The lines between NAME and COMMENTS of the capital layouts, in order.
// PRECURSORTYPE comes before IONMODE: MS-DIAL takes the ion mode from the
// adduct and lets a later IONMODE line correct it.
inline constexpr std::array<LayoutLine, 12> kCapitalLayoutLines = {{
    {"PRECURSORMZ", {{{LineSource::LibraryField, "PrecursorMZ"}}}},
    {"PRECURSORTYPE", {{{LineSource::LibraryField, "Precursor_type"}}}},
    {"IONMODE", {{{LineSource::IonModeWord, ""}}}},
    {"FORMULA", {{{LineSource::LibraryField, "Formula"}}}},
    {"SMILES", {{{LineSource::HeaderField, "SMILES"}}}},
    {"INCHIKEY",
     {{{LineSource::HeaderField, "INCHIKEY"},
       {LineSource::LibraryField, "InChIKey"}}}},
    {"INCHI", {{{LineSource::HeaderField, "INCHI"}}}},
    {"RETENTIONTIME", {{{LineSource::RetentionTime, ""}}}},
    {"COLLISIONENERGY", {{{LineSource::LibraryField, "Collision_energy"}}}},
    {"CCS", {{{LineSource::HeaderField, "CCS"}}}},
    {"INSTRUMENTTYPE", {{{LineSource::LibraryField, "Instrument_type"}}}},
    {"INSTRUMENT",
     {{{LineSource::HeaderField, "INSTRUMENT"},
       {LineSource::HeaderField, "SOURCE_INSTRUMENT"},
       {LineSource::LibraryField, "Instrument"}}}},
}};

inline constexpr std::array<LibraryLayoutRow, 4> LibraryLayouts = {{
    {LibraryLayout::Nist,
     "nist",
     "NIST MS Search and mssearchr",
     {},
     TimeUnit::Seconds,
     false},
    {LibraryLayout::MsDial, "msdial", "MS-DIAL", kCapitalLayoutLines,
     TimeUnit::Minutes, false},
    {LibraryLayout::Matchms, "matchms", "matchms", kCapitalLayoutLines,
     TimeUnit::Seconds, false},
    {LibraryLayout::OpenMs, "openms", "OpenMS", kCapitalLayoutLines,
     TimeUnit::Seconds, true},
}};

const LibraryLayoutRow& libraryLayoutRow(LibraryLayout layout);

}  // namespace mspforge
