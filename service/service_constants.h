#pragma once
// Fixed names and numbers of the filter service.

#include <cstdint>

inline constexpr char kMutexName[] = "KOVARI_Mutex";
inline constexpr char kWindowClassName[] = "VRA_Class";
inline constexpr char kChannelAddress[] = "127.0.0.1";
inline constexpr char kDefaultInstallFolder[] = "/opt/quellmark";
