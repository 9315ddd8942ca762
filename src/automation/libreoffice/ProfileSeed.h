#pragma once
// What a new office profile holds before the office first starts on it.
//
// An office keeps in its profile the last product version it ran as, and treats a start with an
// older or missing record as the first after an upgrade: it then runs its graphics back-end
// self-tests, most of a headless start (0.8 of 0.95 s here). Only a window writes the record
// (with its "what's new" bar), so a headless office would run them at every start, and each
// office of a run starts on a fresh copy of one profile. Seeding the record makes a start take
// about 0.15 s. The self-tests only choose among window back-ends; text export does not use one.
//
// The profile also holds the office's own guards against hostile documents, behind the private
// network every office runs in (and alone where the system gives none): links from documents
// the office does not trust are blocked, every web request goes to a proxy that is never there
// (port 9 of this machine), and no macro runs, whatever a document asks.
#include <string>

namespace automation::lo {

// Writes the guards and the version record into the empty profile folder; the record is left
// out when the office's version cannot be read (the office then starts as it always has, only
// slower). A profile that cannot be written is left as it is: the office then fails to start
// in it, or starts without the guards, as it would on any broken temporary folder.
void SeedProfile(const std::string& profile);

// The product version the office compares with the record ("7.4"), read from the configuration
// data of the installation whose program folder is given; empty when it cannot be read.
std::string OfficeProductVersion(const std::string& programFolder);
// The full release of the same installation ("7.4.7.2"), as its About box names it; empty when
// it cannot be read.
std::string OfficeReleaseVersion(const std::string& programFolder);

}  // namespace automation::lo
