#pragma once
// Files that hold secrets (a preset's new content, the log) are private from
// the moment they are created. Tests look at such a file at that moment,
// before anything is written to it: the hook, when one is set, is called
// with the file's path at once after each creation. Display-free.

#include <string>

// pHook nullptr: none.
void SetFileCreatedHook(void (*pHook)(const std::string& strPath));

// Called by the code that has just created a file.
void FileCreated(const std::string& strPath);
