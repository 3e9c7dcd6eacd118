// What the HTTP layer adds beyond WinINet: figures for tests and the place of the URL cache.
#pragma once
#include <string>

namespace winplat {

// Sockets the HTTP layer has opened since the process started; each one is a connect attempt.
unsigned long InternetConnectAttempts();

// Calls of InternetOpenUrlA since the process started, whatever their outcome.
unsigned long InternetUrlOpens();

// Folder of the URL cache: WINPLAT_CACHE_DIR, else $XDG_CACHE_HOME/movrant, else
// $HOME/.cache/movrant (UTF-8, read at every use).
std::string InternetCacheDir();

}  // namespace winplat
