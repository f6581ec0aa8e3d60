// What the suites that run the program's spine in this process share: the
// globals put back as a fresh process has them, and WinMain run to its end.
#pragma once

namespace test {

// The globals a fresh process starts with; frees the work buffer a fatal
// error during the device start leaves held (the process would end there)
// and the open archives.
void ResetProgramState();

// Runs WinMain with the command line; answers the process exit code, or
// 1000 + WinMain's result when it returned instead of ending the process.
int RunWinMain(const char* commandLine);

}  // namespace test
