#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "imaging/format/XpFormatKind.h"
#include "imaging/movie/MovieFramePipe.h"
#include "outside/plugins/include/XpMoviePluginAbi.h"
#include "platform/text/XpString.h"

// Opens a movie: the result of the plug-ins (0 = opened, the reader then
// set) and the reader, which the opener keeps owning.
using MovieReaderOpener =
    std::function<int32_t(const XpString& path, XpFormatKind kind, IMoviePluginReader** reader)>;

// How a conversation ended.
enum class MovieServerEnd {
  kQuit,        // "<Q>"
  kEndOfInput,  // the client closed its end between two messages
  kBroken,      // a bad token or length, input ending inside a message, a failed write
};

// The movie frame server: reads requests from one descriptor, answers on
// another, one request at a time, and opens movies through the opener. It
// owns neither descriptor.
class MovieExtractServer {
 public:
  MovieExtractServer(int input, int output, MovieReaderOpener opener);
  MovieExtractServer(const MovieExtractServer&) = delete;
  MovieExtractServer& operator=(const MovieExtractServer&) = delete;
  // Closes the open movie.
  ~MovieExtractServer();

  // The request loop, until "<Q>", end of input or a broken conversation.
  MovieServerEnd Run();
  // Why the conversation broke; "" otherwise.
  const std::string& GetFailure() const { return failure_; }

  // The replies; false only when writing failed.
  bool SendProperties();
  bool SendFrame(const MovieFrameRequest& request);

 private:
  // Reads a whole message part; a short read breaks the conversation.
  bool Read(uint8_t* bytes, size_t count, const char* what);
  bool Write(const uint8_t* bytes, size_t count);
  bool WriteToken(MovieToken token);
  MovieServerEnd Broken(const std::string& why);
  bool HandleOpen();
  bool HandleFrame();
  bool HandleProperties();
  void CloseMovie();
  // "<B>" after an open refused with a cannot-read or no-video result, "<E>"
  // otherwise.
  bool SendNoMovie();

  int input_;
  int output_;
  MovieReaderOpener opener_;
  IMoviePluginReader* reader_ = nullptr;
  int32_t lastOpenResult_ = 0;
  std::string failure_;
};
