// What the "dump" action lists: one line for each control of a window, with what a person can
// tell of it.
#pragma once

#include <HIToolbox/HIToolbox.h>

#include <string>
#include <vector>

// "control NUMBER KIND visible|hidden enabled|disabled VALUE TOP,LEFT,BOTTOM,RIGHT TEXT" for
// each control, in the order of forEachControl. NUMBER is "-" for a control without one; TEXT is
// a field's or label's text, a button's title or a popup's chosen item, between double quotes,
// escaped as printableText escapes text (a text the program shows escaped already as it is),
// with a double quote as \"; and only the length of a concealed field's text.
std::vector<std::string> dumpWindow(WindowRef window);
