// The program's logger ("Quorvel"): started during static initialisation, its ceiling is the
// application settings' nLogCeiling, read at every statement (6 until the settings exist).
// The program's lines carry no prefix. GUI thread.
#pragma once

#include <cstdint>

#include "logging/Logger.h"

Logging::CLogger& ProgramLog();
// Where the ceiling is read from (the application object's settings member); nullptr
// restores the default 6.
void SetProgramLogCeilingSource(const std::int32_t* ceiling);
