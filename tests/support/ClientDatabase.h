#pragma once

#include <string>
#include <vector>

namespace testing_support {

// Creates an empty Client.mdb at path from the project's schema.
void CreateClientDatabase(const std::string& path);

// Runs sql on the database at path; every row's columns as text ("NULL" for null).
std::vector<std::vector<std::string>> QueryRows(const std::string& path, const std::string& sql);

// Runs statements that return nothing (test set-up).
void ExecuteSql(const std::string& path, const std::string& sql);

}  // namespace testing_support
