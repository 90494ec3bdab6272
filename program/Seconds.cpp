#include "program/Seconds.h"

#include <cstdio>

std::string inSeconds(std::chrono::milliseconds span)
{
    char text[32];
    snprintf(text, sizeof text, "%g s", static_cast<double>(span.count()) / 1000);
    return text;
}
