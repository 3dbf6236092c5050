// The server's address as a seat's settings write it: a bare name keeps plain HTTP on the
// settings' port; a URL says its transport and takes its scheme's port unless it names one.
#include "core/server_url.h"

#include <gtest/gtest.h>

namespace ger {
namespace {

TEST(ServerUrl, ABareNameIsPlainOnTheGivenPortAndAUrlSaysItsTransportAndPort) {
  struct Case {
    const char* text;
    bool tls;
    const char* host;
    int port;
    const char* shown;
  };
  for (const Case& c : {Case{"srv", false, "srv", 8200, "srv:8200"},
                        Case{"10.0.0.5", false, "10.0.0.5", 8200, "10.0.0.5:8200"},
                        Case{"srv:9000", false, "srv", 9000, "srv:9000"},
                        Case{"http://srv", false, "srv", 80, "srv:80"},
                        Case{"https://ger.example.com", true, "ger.example.com", 443,
                             "https://ger.example.com:443"},
                        Case{"https://ger.example.com:8443/", true, "ger.example.com", 8443,
                             "https://ger.example.com:8443"},
                        Case{"https://[::1]:8443", true, "::1", 8443, "https://[::1]:8443"}}) {
    const auto url = ParseServerUrl(c.text, 8200);
    ASSERT_TRUE(url) << c.text;
    EXPECT_EQ(url->tls, c.tls) << c.text;
    EXPECT_EQ(url->host, c.host) << c.text;
    EXPECT_EQ(url->port, c.port) << c.text;
    EXPECT_EQ(url->Text(), c.shown) << c.text;
  }
}

TEST(ServerUrl, WhatNoClientCouldCallIsRefused) {
  for (const char* text :
       {"", "https://", "ftp://srv", "https://srv/GER00200.rdmEmpresa", "https://srv:0",
        "https://srv:65536", "https://srv:", "srv:8x", "https://user@srv", "https://[::1",
        "https://[::1]x", "a b", "https://srv?x=1"})
    EXPECT_FALSE(ParseServerUrl(text, 8200)) << text;
}

}  // namespace
}  // namespace ger
