// Where the platform's starter looks for templates: the values of
// ConfigurationTemplatesLocation in its per-user "ordolaunch.cfg" files.
#pragma once

#include <functional>
#include <vector>

#include "text/cow_string.h"

namespace ordx {

using LocationList = std::vector<WideString>;

// HOME/.Ordo/ordolaunch/ordolaunch.cfg, the starter file the user's platform
// reads first (empty when no home directory is known).
WideString GetMainStarterFile();

// Appends the locations known from the selected pair of files.
void ReadTemplateLocations(LocationList* list, bool alternate);
// Writes the list as the key's values into the pair's primary file. Throws
// the integers 1 or 2 of the configuration writer.
void WriteTemplateLocations(const LocationList& list, bool alternate);
// Drops later locations equal to an earlier one without regard to case or a
// trailing separator.
void NormalizeLocationList(LocationList* list);
// True when a probe file can be created (exclusively) and removed in `dir`.
bool IsDirectoryWritable(const WideString& dir);

// The form in which a location is proposed: empty for an http, https or ftp
// address, the first "file://" removed, backslashes made "/", line feeds
// and carriage returns dropped.
WideString CleanTemplateDirectory(const WideString& location);

// Fills the list and the two flags from the starter files as they are now.
void ReadCurrentLocations(LocationList* list, bool* alternateFileExists,
                          bool* listFromAlternateFile);
// Fills the list and the two flags and returns the proposed directory
// (possibly empty).
WideString SelectTemplateDirectory(LocationList* list, bool* alternateFileExists,
                                   bool* listFromAlternateFile);
// Puts targetDir (one trailing separator removed) at the head of the list
// and writes the starter files the flags select. False when a file could not
// be written (or there is no home directory); the installation stands.
bool RegisterTemplateDirectory(LocationList* list, const WideString& targetDir,
                               bool listFromAlternateFile, bool alternateFileExists);

// Replaces the home directory lookup (empty function: the real one), so
// tests can stand in for a user without any home directory.
void SetHomeDirectoryProvider(std::function<WideString()> provider);

}  // namespace ordx
