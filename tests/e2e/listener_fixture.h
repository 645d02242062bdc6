#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <variant>

#include "harness/utf.h"
#include "server/data_folder.h"
#include "server/tds/listener.h"
#include "tests/e2e/odbc_driver.h"

namespace tavora::testing {

// A TDS listener on a free loopback port in front of a fresh server in
// memory, started for each test and stopped after it, with the TDS driver
// registered privately as "SQL Server".
class ListenerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string failure = UsePrivateOdbcDriver();
    ASSERT_EQ(failure, "");
    auto opened = server::DataFolder::Open(std::string(server::DataFolder::kMemory), {});
    if (auto* why = std::get_if<std::string>(&opened)) FAIL() << "server: " << *why;
    folder_ = std::move(std::get<std::unique_ptr<server::DataFolder>>(opened));
    listener_ = std::make_unique<server::tds::Listener>(*folder_, server::tds::ListenerOptions{});
    port_ = listener_->Start();
  }

  void TearDown() override {
    if (listener_) listener_->Stop();
  }

  // The server name the datasets' connection string carries: FreeTDS wants
  // the port after a comma.
  std::u16string ServerName() const {
    return harness::FromUtf8("127.0.0.1," + std::to_string(port_));
  }

  std::u16string ConnectionString(const std::u16string& password = u"") const {
    return u"DRIVER=SQL Server;SERVER=" + ServerName() + u";UID=sa;PWD=" + password +
           u";Trusted_Connection=No";
  }

  std::unique_ptr<server::DataFolder> folder_;
  std::unique_ptr<server::tds::Listener> listener_;
  uint16_t port_ = 0;
};

}  // namespace tavora::testing
