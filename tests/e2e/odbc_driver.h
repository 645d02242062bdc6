#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <system_error>

// The build's TDS ODBC driver, found when the build was configured.
#ifndef TAVORA_TDSODBC_DRIVER
#define TAVORA_TDSODBC_DRIVER ""
#endif

namespace tavora::testing {

// Registers the build's TDS driver under the name "SQL Server" in a private
// odbcinst.ini and points the driver manager at it (ODBCSYSINI, ODBCINSTINI;
// inherited by child processes), so that no test depends on the machine's
// registration. The driver manager reads these variables once, at its first
// call, so every ODBC user in the process calls this first. Returns "" when
// the registration is in place, else why not.
inline std::string UsePrivateOdbcDriver() {
  static std::once_flag once;
  static std::string failure;
  // The folder lives as long as the process: the driver manager may read the
  // file again at any connection.
  struct Folder {
    std::filesystem::path path;
    ~Folder() {
      std::error_code ignored;
      if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
  };
  static Folder folder;
  std::call_once(once, [] {
    const std::string driver = TAVORA_TDSODBC_DRIVER;
    if (driver.empty() || !std::filesystem::exists(driver)) {
      failure =
          "the TDS ODBC driver (libtdsodbc.so, Debian package tdsodbc) was not found "
          "when the build was configured: run scripts/install-deps and configure again";
      return;
    }
    folder.path =
        std::filesystem::temp_directory_path() / ("tavora-odbc-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder.path);
    std::ofstream ini(folder.path / "odbcinst.ini");
    ini << "[SQL Server]\nDescription = TDS driver for the tests\nDriver = " << driver
        << "\nDontDLClose = 1\n";
    ini.close();
    std::ofstream(folder.path / "odbc.ini").close();
    if (!ini) {
      failure = "cannot write " + (folder.path / "odbcinst.ini").string();
      return;
    }
    ::setenv("ODBCSYSINI", folder.path.c_str(), 1);
    ::setenv("ODBCINSTINI", "odbcinst.ini", 1);
    ::setenv("ODBCINI", (folder.path / "odbc.ini").c_str(), 1);
  });
  return failure;
}

}  // namespace tavora::testing
