// What a program run as another local user reads of the build and of the checkout, where that
// user can reach it. The checkout may stand in a folder that no one else may enter (/root, or a
// home of mode 0700), and the tests never open up the person's own folders: they run the other
// user's programs, and hand them the checkout's files, from copies in a temporary folder that the
// test process makes once and removes at its end. RunningProgram maps the arguments of every run
// with ProgramOptions::user set; a test that changes the user some other way (nsenter) maps its
// paths itself.
#pragma once

#include <string>
#include <utility>
#include <vector>

// path as user reaches it: a program of the build, or anything in the product's folder beside
// it, in a copy of the build's programs and libraries laid out as installed, which every user may
// read; a file of the checkout or the build (a PPD, a settings file with codes) in a copy of
// user's own, which no one else may read; any other path as it is.
std::string reachableBy(const std::string& user, const std::string& path);

// The sanitizers' options of this process (ASAN_OPTIONS, LSAN_OPTIONS), whose suppression files
// are the checkout's, as user's programs must be given them: name and value, the files named as
// user reaches them. Empty outside the sanitizer build.
std::vector<std::pair<std::string, std::string>> sanitizerOptionsFor(const std::string& user);
