// The command line of a scan: which reports to write, where to save the
// media, which cache folders to read and which class to keep.  Arguments
// arrive as UTF-8 texts (the program turns its UTF-16 command line into
// them), so that any path the file system takes can be named.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

enum class ScanClassFilter { All, Video, Audio };

struct ScanRequest {
  bool usage = false;                                  // "/?": the usage only
  std::optional<std::string> commaReport;              // "/scomma FILE"
  std::optional<std::string> tabReport;                // "/stab FILE"
  std::optional<std::string> copyFolder;               // "/copyall FOLDER"
  bool partial = false;                                // "/partial": incomplete ones' prefix too
  bool separate = false;                               // "/separate": a presentation's tracks as two files
  std::vector<std::string> cacheFolders;               // "/cachefolder DIR", in the order given
  ScanClassFilter classFilter = ScanClassFilter::All;  // "/type video|audio"
};

enum class ArgumentFault {
  UnknownSwitch,       // not one of the switches (or not a switch at all)
  MissingValue,        // a switch that takes a value came last, or before another switch
  BadTypeValue,        // "/type" with something else than video or audio
  RepeatedSwitch,      // a switch that may be given once came twice
  PartialWithoutCopy,  // "/partial" or "/separate" without "/copyall"
  NothingToDo,         // neither a report nor a copy was asked for
};

struct ArgumentError {
  ArgumentFault fault = ArgumentFault::UnknownSwitch;
  std::string argument;  // the argument at fault (the switch for a missing value)
};

// Switches start with "/" or "-" and are matched without regard to case.
// "/?" anywhere asks for the usage and nothing else.
std::variant<ScanRequest, ArgumentError> ScanArgumentsParse(std::span<const std::string> arguments);
