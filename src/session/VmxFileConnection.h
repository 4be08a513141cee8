// The VM's network connection type, kept in the configuration file.
#pragma once
#include <string>

namespace holv {

inline constexpr char kConnectionTypeKey[] = "Ethernet0.connectionType";
inline constexpr int kConnectionTypeCount = 4;
// Index: 0 "bridged", 1 "nat", 2 "hostonly", 3 "custom".
const char* ConnectionTypeText(int index);  // null outside the table

// Index of the file's connection type; 0 when absent or not exactly (letter
// case included) one of the table's texts.
int GetConnectionType(const std::string& path);
// Writes the table text of index; returns WriteVmxValue's result (1 changed,
// 0 not). An index outside the table writes nothing and returns 0.
int SetConnectionType(const std::string& path, int index);

}  // namespace holv
