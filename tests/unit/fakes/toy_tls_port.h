// A stand-in for the platform's TLS: real record framing (type, version,
// 16-bit length), a toy handshake and a toy cipher, so that the TLS layer's
// buffering and rules can be tested as data.
//
// Server handshake records (type 0x16) are consumed one by one; the payload
// "FINISHED" ends the handshake (the client answers "CLIENT-FINISHED"), "BAD"
// fails it, "PART" needs the record after it in the same call. Data records
// (0x17) carry the plain text XOR 0x55; an alert (0x15) decrypts to nothing.
#pragma once

#include <string>
#include <string_view>

#include "net/tls_port.h"

namespace zepho::testing {

inline std::string Record(unsigned char type, std::string_view payload) {
  std::string r;
  r += static_cast<char>(type);
  r += "\x03\x03";
  r += static_cast<char>(payload.size() >> 8);
  r += static_cast<char>(payload.size() & 0xFF);
  r += payload;
  return r;
}

inline std::string Xor(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c ^ 0x55);
  return out;
}

inline std::string DataRecord(std::string_view plain) { return Record(0x17, Xor(plain)); }

class ToyTlsPort : public TlsPort {
 public:
  bool Begin(const TlsPeer& p, std::string& out, std::string& error) override {
    ++begins;
    peer = p;
    name = p.name;
    if (!can_begin) {
      error = "no credentials";
      return false;
    }
    out = Record(0x16, "CLIENT-HELLO");
    return true;
  }

  TlsStep Handshake(std::string_view input) override {
    ++handshake_calls;
    TlsStep step;
    std::size_t at = 0;
    while (input.size() - at >= 5) {
      const std::size_t body = std::size_t{static_cast<unsigned char>(input[at + 3])} << 8 |
                               static_cast<unsigned char>(input[at + 4]);
      if (input.size() - at < 5 + body) break;
      const std::string_view payload = input.substr(at + 5, body);
      if (input[at] != 0x16 || payload == "BAD") {
        step.status = TlsStep::Status::Failed;
        step.error = "alert";
        return step;
      }
      if (payload == "PART") {
        // Needs the next record too.
        const std::size_t next = at + 5 + body;
        if (input.size() - next < 5) break;
        const std::size_t next_body = std::size_t{static_cast<unsigned char>(input[next + 3])} << 8 |
                                      static_cast<unsigned char>(input[next + 4]);
        if (input.size() - next < 5 + next_body) break;
      }
      at += 5 + body;
      if (payload == "FINISHED") {
        step.status = TlsStep::Status::Done;
        step.consumed = at;
        step.output = Record(0x16, "CLIENT-FINISHED");
        return step;
      }
    }
    step.status = at == 0 ? TlsStep::Status::Incomplete : TlsStep::Status::Continue;
    step.consumed = at;
    return step;
  }

  TlsStep Decrypt(std::string_view record) override {
    ++decrypts;
    TlsStep step;
    if (record.size() < 5) return step;  // the layer must never do this
    step.status = TlsStep::Status::Done;
    step.consumed = record.size();
    if (record[0] == 0x17) step.plain = Xor(record.substr(5));
    else if (record[0] != 0x15) step.status = TlsStep::Status::Failed;
    return step;
  }

  std::size_t MaxPlainPerRecord() override { return 16; }

  bool Encrypt(std::string_view plain, std::string& record) override {
    record = DataRecord(plain);
    return true;
  }

  std::string Shutdown() override { return Record(0x15, "\x01\x00"); }
  std::string PeerCertificate() override { return certificate; }
  // The check starts; its verdict is `verdict`, handed over by the test.
  bool StartVerify(std::string& detail) override {
    ++verifies;
    verified_name = name;
    if (!can_verify) {
      detail = "no chain engine";
      return false;
    }
    verifying = true;
    return true;
  }
  // The detail that goes with `verdict`.
  std::string Detail() const { return verdict == CertVerdict::Ok ? "" : "chain says no"; }
  TlsSessionInfo Info() override { return {"TLS 1.2", "TOY-XOR", "CN=pop.example.jp"}; }
  void End() override {
    ++ends;
    verifying = false;
  }

  bool can_begin = true;
  bool can_verify = true;
  bool verifying = false;  // a check was started and not ended
  TlsPeer peer;
  std::string certificate = "toy certificate";
  CertVerdict verdict = CertVerdict::Ok;
  std::string name, verified_name;
  int begins = 0, handshake_calls = 0, decrypts = 0, verifies = 0, ends = 0;
};

}  // namespace zepho::testing
