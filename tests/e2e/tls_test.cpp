// transport=tls end to end: the real forwarder against a collector that records what reaches its
// side of the wire. Certificates are made at test time (kit/tls_pki.h).
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <ostream>

#include "forwarder_fixture.h"
#include "kit/collectors.h"
#include "kit/process.h"
#include "kit/tls_pki.h"

namespace e2e {
namespace {

using namespace brennicot::testkit;

class TlsTest : public ForwarderTest {
 protected:
  void SetUp() override {
    ForwarderTest::SetUp();
    if (IsSkipped()) return;
    if (!HaveTool("openssl") || !HaveTool("python3")) GTEST_SKIP() << "openssl and python3";
    pki_ = std::make_unique<Pki>(dir_ / "pki");
  }
  IniText TlsIni(int port) const {
    IniText ini = BaseIni();
    ini.Set("udpport", std::to_string(port));
    ini.Set("transport", "tls");
    ini.Set("tlsca", (*pki_)("ca.pem"));
    return ini;
  }
  std::unique_ptr<Pki> pki_;
};

struct Refusal {
  const char* server_cert;
  const char* tlsname;  // empty: udptarget's
  const char* reason;
};

void PrintTo(const Refusal& r, std::ostream* out) {
  *out << r.server_cert << " certificate: " << r.reason;
}

class TlsRefusalTest : public TlsTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TlsRefusalTest, IsRefusedWithTheReasonOnceAndNotOneByteOfALineReachesIt) {
  const Refusal& r = GetParam();
  TempDir side;
  TlsCollector collector(side.path(), (*pki_)(std::string(r.server_cert) + ".pem"),
                         (*pki_)(std::string(r.server_cert) + ".key"));
  IniText ini = TlsIni(collector.port());
  if (*r.tlsname) ini.Set("tlsname", r.tlsname);
  Start(ini);
  pty_->Write("Door 3 open\r\n");
  ASSERT_TRUE(forwarder_->WaitForLog(r.reason)) << forwarder_->Log();
  // Refused again on the next attempt, still reported once.
  ASSERT_TRUE(WaitUntil([&] { return Lines(collector.Events()).size() >= 4; }, 10s))
      << collector.Events();  // two connections: "handshake failed", "closed" each
  const auto errors = forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:");
  ASSERT_EQ(errors.size(), 1u) << forwarder_->Log();
  EXPECT_TRUE(Contains(errors[0], std::string(r.reason) + " (TLS to 127.0.0.1:")) << errors[0];
  EXPECT_TRUE(Contains(collector.Events(), "handshake failed")) << collector.Events();
  EXPECT_FALSE(Contains(collector.Events(), "handshake ok")) << collector.Events();
  EXPECT_TRUE(collector.Messages().empty());
  EXPECT_FALSE(Contains(collector.Raw(), "Door 3 open"));
  EXPECT_FALSE(forwarder_->WaitForLog("reachable again", 0s)) << forwarder_->Log();
}

INSTANTIATE_TEST_SUITE_P(Rules, TlsRefusalTest,
                         ::testing::Values(Refusal{"rogue", "", "unknown authority"},
                                           Refusal{"collector", "collector.example",
                                                   "name mismatch: expected collector.example, "
                                                   "the certificate holds 127.0.0.1, localhost"},
                                           Refusal{"expired", "", "certificate has expired"}),
                         [](const auto& info) {
                           const std::string cert = info.param.server_cert;
                           return cert == "rogue"       ? std::string("UnknownAuthority")
                                  : cert == "collector" ? std::string("NameMismatch")
                                                        : std::string("Expired");
                         });

// Under TLS 1.3 a collector refuses the forwarder's (missing) certificate only after the
// forwarder's side of the handshake: the refusal ends the session, its reason is logged and the
// collector never reads a line.
TEST_F(TlsTest, ACollectorRefusingTheForwardersCertificateAfterTheHandshakeGetsNoLine) {
  TempDir side;
  TlsCollector collector(side.path(), (*pki_)("collector.pem"), (*pki_)("collector.key"),
                         (*pki_)("ca.pem"));
  Start(TlsIni(collector.port()));
  pty_->Write("Door 3 open\r\n");
  ASSERT_TRUE(
      forwarder_->WaitForLog("the collector ended the TLS session: tlsv13 alert "
                             "certificate required (TLS to 127.0.0.1:"))
      << forwarder_->Log();
  ASSERT_TRUE(WaitUntil([&] { return Lines(collector.Events()).size() >= 4; }, 10s))
      << collector.Events();  // tried again, refused again
  EXPECT_FALSE(Contains(collector.Events(), "handshake ok")) << collector.Events();
  EXPECT_TRUE(collector.Messages().empty());
  // A session refused at once never held: one line, and the collector is not taken as back.
  EXPECT_EQ(forwarder_->MessagesStartingWith("frmBrennicot:MessageSend err#:").size(), 1u)
      << forwarder_->Log();
  EXPECT_FALSE(forwarder_->WaitForLog("reachable again", 0s)) << forwarder_->Log();
}

// A TLS 1.3 collector that sends no session ticket: the forwarder's side of the handshake done,
// the line goes at once, not after the connection's time limit (10 s).
TEST_F(TlsTest, ACollectorAskingForAClientCertificateTakesTheForwardersOwnWithoutATicket) {
  TempDir side;
  TlsCollector collector(side.path(), (*pki_)("collector.pem"), (*pki_)("collector.key"),
                         (*pki_)("ca.pem"), 0, /*tickets=*/false);
  IniText ini = TlsIni(collector.port());
  ini.Set("tlscert", (*pki_)("forwarder.pem"));
  ini.Set("tlskey", (*pki_)("forwarder.key"));
  chmod((*pki_)("forwarder.key").c_str(), 0644);
  Start(ini);
  const auto written = std::chrono::steady_clock::now();
  pty_->Write("Door 3 open\r\n");
  ASSERT_TRUE(WaitUntil([&] { return collector.Messages().size() >= 1; }, 15s))
      << collector.Events() << forwarder_->Log();
  EXPECT_LT(std::chrono::steady_clock::now() - written, 5s);
  EXPECT_EQ(collector.Messages(), std::vector<std::string>{"Door 3 open"});
  // The advice suits the packaged service, which reads the key through its group.
  const std::string key = (*pki_)("forwarder.key");
  EXPECT_EQ(forwarder_->MessagesStartingWith("Warning: the private key "),
            std::vector<std::string>{"Warning: the private key " + key +
                                     " may be read by any user; keep it to the service (chgrp "
                                     "vemo-brennicot " +
                                     key + "; chmod 0640 " + key + ")"})
      << forwarder_->Log();
}

// A good chain and name: the lines arrive, octet-counted, encrypted on the wire; after the
// collector restarted, every line it had not confirmed arrives again, in order.
TEST_F(TlsTest, AVerifiedCollectorGetsEveryLineAndAfterARestartTheRestInOrder) {
  TempDir side;
  auto collector = std::make_unique<TlsCollector>(side.path(), (*pki_)("collector.pem"),
                                                  (*pki_)("collector.key"));
  const int port = collector->port();
  Start(TlsIni(port));
  pty_->Write("line 1\r\nline 2\r\n");
  ASSERT_TRUE(WaitUntil([&] { return collector->Messages().size() >= 2; }, 10s));
  EXPECT_EQ(collector->Messages(), (std::vector<std::string>{"line 1", "line 2"}));
  EXPECT_FALSE(Contains(collector->Raw(), "line 1"));
  collector->Kill();
  pty_->Write("line 3\r\nline 4\r\n");
  ASSERT_TRUE(forwarder_->WaitForLog("frmBrennicot:MessageSend err#:")) << forwarder_->Log();
  // Back with a certificate of another authority, which tlsca now names: the file is read again
  // for the new connection, no restart needed.
  std::filesystem::copy_file((*pki_)("other-ca.pem"), (*pki_)("ca.pem"),
                             std::filesystem::copy_options::overwrite_existing);
  TempDir side2;
  collector = std::make_unique<TlsCollector>(side2.path(), (*pki_)("rogue.pem"),
                                             (*pki_)("rogue.key"), "", port);
  pty_->Write("line 5\r\n");
  ASSERT_TRUE(forwarder_->WaitForLog("reachable again", 40s)) << forwarder_->Log();
  ASSERT_TRUE(WaitUntil([&] { return collector->Messages().size() >= 3; }, 10s))
      << forwarder_->Log();
  // Lines 1 and 2 went on a connection that had not held: they come again, first.
  EXPECT_EQ(collector->Messages(),
            (std::vector<std::string>{"line 1", "line 2", "line 3", "line 4", "line 5"}));
}

// What users will run: rsyslog and syslog-ng with a TLS input take the lines, layout 2 parsed.
TEST_F(TlsTest, RsyslogAndSyslogNgReceiveTheLinesOverTls) {
  if (!RsyslogTls::Available() || !SyslogNg::Available()) GTEST_SKIP() << "scripts/setup-deps";
  for (const bool rsyslog : {true, false}) {
    TempDir side;
    const std::string cert = (*pki_)("collector.pem"), key = (*pki_)("collector.key");
    std::unique_ptr<Collector> collector;
    if (rsyslog) collector = std::make_unique<RsyslogTls>(side.path(), cert, key);
    if (!rsyslog) collector = std::make_unique<SyslogNgTls>(side.path(), cert, key);
    std::remove((dir_ / "Vemo_Brennicot.log").c_str());  // so that this start-up line is awaited
    forwarder_ = std::make_unique<Forwarder>(dir_.path());
    IniText ini = TlsIni(collector->port());
    ini.Set("msgformat", "2");
    Start(ini);
    pty_->Write("Door 3 open\r\n");
    ASSERT_TRUE(collector->WaitForRecords(1)) << rsyslog << forwarder_->Log();
    const std::string record = collector->Records().at(0);  // rsyslog keeps the tag's blank
    EXPECT_TRUE(Contains(record, "|" + HostName() + "|Vemo_Brennicot|")) << record;
    EXPECT_TRUE(record.ends_with("VemoBrennicotID=Brennicot Door 3 open")) << record;
    forwarder_->Stop();
  }
}

// OpenSSL is loaded only for transport=tls: without it, the start fails with the loader's reason.
TEST_F(TlsTest, WithoutTheLibraryTheStartFailsWithOneClearLine) {
  if (!CanUnshareMounts()) GTEST_SKIP() << "no private mount namespace (unshare -m) to hide it in";
  // Every libssl.so.3 the loader may find (the cache's, each architecture's) reads as empty.
  forwarder_->SetLauncher(InPrivateMounts(
      R"(for f in $(ldconfig -p | sed -n 's/^[[:space:]]*libssl\.so\.3 .*=> //p') \
                  /usr/lib/*/libssl.so.3; do
           [ ! -e "$f" ] || mount --bind /dev/null "$f" || exit 99
         done
         exec "$@")"));
  forwarder_->WriteIni(TlsIni(6514));
  EXPECT_EQ(forwarder_->RunToEnd({}), 1) << forwarder_->Stderr();
  const auto messages = forwarder_->LogMessages();
  ASSERT_EQ(messages.size(), 2u) << forwarder_->Log();
  const std::string expected =
      "frmBrennicot1.3:Startup err#:8018:transport=tls needs OpenSSL 3 (libssl.so.3, Debian "
      "package libssl3): ";
  EXPECT_TRUE(messages[0].starts_with(expected)) << messages[0];
  EXPECT_GT(messages[0].size(), expected.size()) << "the loader's reason";
}

}  // namespace
}  // namespace e2e
