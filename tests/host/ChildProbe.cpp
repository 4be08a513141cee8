// A child for the process-launch tests; what it reports comes back through
// its exit code or a file.
//   holv_test_child len ...          exit code = length of its command line
//   holv_test_child cwdlen           exit code = length of its current folder
//   holv_test_child hold FILE EVENT  writes "pid tid" to FILE, then waits
//                                    (at most 60 s) for the named event
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "len") == 0) {
        return static_cast<int>(std::strlen(::GetCommandLineA()));
    }
    if (argc >= 2 && std::strcmp(argv[1], "cwdlen") == 0) {
        char folder[MAX_PATH];
        return static_cast<int>(::GetCurrentDirectoryA(MAX_PATH, folder));
    }
    if (argc >= 4 && std::strcmp(argv[1], "hold") == 0) {
        HANDLE event = ::OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
        if (!event) return 3;
        char temp[MAX_PATH + 8];
        std::snprintf(temp, sizeof temp, "%s.part", argv[2]);
        std::FILE* f = std::fopen(temp, "w");
        if (!f) return 4;
        std::fprintf(f, "%lu %lu\n", ::GetCurrentProcessId(), ::GetCurrentThreadId());
        std::fclose(f);
        ::MoveFileA(temp, argv[2]);  // the reader never sees half a file
        ::WaitForSingleObject(event, 60000);
        ::CloseHandle(event);
        return 0;
    }
    return 1;
}
