// The JSON line channel: every Message is one compact JSON object on one line,
// written with two unbuffered writes (the object, then a line feed) so that the
// application can read it the moment it is produced.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/outcome.h"

namespace quorvane {

// nlohmann::json keeps object members in a std::map, so members come out in
// ascending key order at every depth: the sorted form the application expects.
using Json = nlohmann::json;

// A byte sink. Real programs write to a file descriptor; tests collect writes.
class Output {
 public:
  virtual ~Output() = default;
  // Writes all bytes as one logical write; false when the sink failed.
  virtual bool write(std::string_view bytes) = 0;
};

// Keeps every write apart, so tests can check both the bytes and the write count.
class RecordingOutput final : public Output {
 public:
  bool write(std::string_view bytes) override {
    writes.emplace_back(bytes);
    return !failing;
  }
  std::string text() const;
  // The complete lines written so far, without their line feeds.
  std::vector<std::string> lines() const;

  std::vector<std::string> writes;
  bool failing = false;
};

// A JSON number as the application's serialiser writes it: integral values
// within the exactly representable range as integers ("100", not "100.0").
Json jsonNumber(double value);

struct Encoded {
  std::optional<std::string> bytes;  // compact JSON, UTF-8
  std::string error;                 // why it could not be encoded
};

// Encodes compactly. Fails, instead of writing something the application
// cannot parse, on strings that are not valid UTF-8 and on NaN or infinity.
Encoded encodeJson(const Json& value);

// What a program does when a Message cannot be encoded: it receives the
// encoder's description. The caller then ends with its failure status.
using EncodeFailure = std::function<void(const std::string& description)>;

class Channel {
 public:
  Channel(Output& out, EncodeFailure onEncodeFailure)
      : out_(out), onEncodeFailure_(std::move(onEncodeFailure)) {}

  // Writes one Message (or array line). Returns false when it could not be
  // encoded; the program's encoding-failure path has then already run.
  bool emit(const Json& message);
  // Writes already encoded JSON as one line, the same two writes as emit.
  void writeLine(std::string_view encoded);

 private:
  Output& out_;
  EncodeFailure onEncodeFailure_;
};

// The Error Message of the JSON-line programs: { "error": text, "type": "error" }.
Json errorMessage(std::string_view text);

// Writes the end's Error Message, when it has a text, and gives the exit
// status: the end's own, or 1 when the Message could not be encoded.
int reportExit(Channel& channel, const Exit& exit);

}  // namespace quorvane
