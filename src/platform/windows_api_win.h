// The Windows headers, included one way everywhere in this backend: Winsock 2 before windows.h,
// no min/max macros, and without the A/W macros that would rename UserInterface::MessageBox and
// ServiceControl::StartService (the backend calls the ...A functions by their own names).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#ifdef MessageBox
#undef MessageBox
#endif
#ifdef StartService
#undef StartService
#endif
