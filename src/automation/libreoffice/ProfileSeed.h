#pragma once
// What a new office profile holds before the office first starts on it.
//
// An office keeps in its profile the last product version it ran as, and treats a start with an
// older or missing record as the first after an upgrade: it then runs its graphics back-end
// self-tests, most of a headless start (0.8 of 0.95 s here). Only a window writes the record
// (with its "what's new" bar), so a headless office would run them at every start, and each
// office of a run starts on a fresh copy of one profile. Seeding the record makes a start take
// about 0.15 s. The self-tests only choose among window back-ends; text export does not use one.
#include <string>

namespace automation::lo {

// Writes the record into the empty profile folder; does nothing when the office's version
// cannot be read (the office then starts as it always has, only slower).
void SeedProfile(const std::string& profile);

// The product version the office compares with the record ("7.4"), read from the configuration
// data of the installation whose program folder is given; empty when it cannot be read.
std::string OfficeProductVersion(const std::string& programFolder);

}  // namespace automation::lo
