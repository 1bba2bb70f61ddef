// A unit's verdict in words: the one text, result word and exit code every front end shows for a
// job's outcome, and every receipt records.
#pragma once

#include <string>

#include "package/properties_container.h"
#include "update/jobs.h"

namespace tessaline {

struct Verdict {
  int exitCode = 0;
  std::string result;  // "succeeded", "failed", "no-response", ...
  std::string text;    // the sentence for the user, with the reason where there is one
};

// How a text about a unit left part way says to finish it: the command line's "run the same
// command again", or a window's "update the unit again".
enum class AgainWording { Command, Window };

// What stopping in `stage` leaves the unit in: "while writing the flash data: the unit stays in
// bootload mode without complete firmware; run the same command again to finish."
std::string WhatStoppingLeaves(Stage stage, AgainWording again = AgainWording::Command);

// `updaterTexts`: the package's, which word the unit's failures to answer.
Verdict VerdictOf(const JobResult& result, const PropertiesContainer& updaterTexts,
                  AgainWording again = AgainWording::Command);

}  // namespace tessaline
