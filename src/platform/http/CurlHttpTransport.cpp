#include "platform/http/CurlHttpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest single wait inside the transfer loop, so the deadline is checked often enough even
// when curl asks for a long timeout.
constexpr int pollSliceMilliseconds = 200;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct BodySink {
  std::string body;
  std::size_t limit = 0;
  bool overflowed = false;
};

size_t collectBody(char* data, size_t size, size_t count, void* context) {
  auto* sink = static_cast<BodySink*>(context);
  size_t bytes = size * count;
  if (sink->body.size() + bytes > sink->limit) {
    sink->overflowed = true;
    return 0;  // curl ends the transfer with a write error
  }
  sink->body.append(data, bytes);
  return bytes;
}

long millisecondsFrom(double seconds) {
  if (!(seconds > 0)) return 1;
  return static_cast<long>(std::min(seconds * 1000.0, 24.0 * 3600 * 1000));
}

// Builds the header list; an empty value is sent as "Name;" which curl turns into an empty
// field. Curl's own defaults that the caller did not ask for are switched off with "Name:".
curl_slist* headerList(const HttpRequest& request) {
  curl_slist* list = nullptr;
  auto append = [&list](const std::string& line) {
    if (curl_slist* grown = curl_slist_append(list, line.c_str())) list = grown;
  };
  bool hasAccept = false;
  for (const auto& [name, value] : request.headers) {
    append(value.empty() ? name + ";" : name + ": " + value);
    if (curl_strequal(name.c_str(), "Accept")) hasAccept = true;
  }
  if (!hasAccept) append("Accept:");
  return list;
}

}  // namespace

CurlHttpTransport::CurlHttpTransport() {
  // curl_global_init is not safe to race with itself on every build of libcurl.
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttpTransport::get(const HttpRequest& request, double deadlineSeconds) {
  HttpResponse response;
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(millisecondsFrom(deadlineSeconds));

  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  std::unique_ptr<curl_slist, ListDeleter> headers(headerList(request));
  if (!easy || !multi) return response;

  BodySink sink;
  sink.limit = request.bodyLimit;
  CURL* handle = easy.get();
  curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(handle, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, collectBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, millisecondsFrom(request.timeoutSeconds));
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
#if LIBCURL_VERSION_NUM >= 0x075700
  // Lets the cleanup below abandon a name lookup that is still running instead of joining it,
  // which could block far past the deadline.
  curl_easy_setopt(handle, CURLOPT_QUICK_EXIT, 1L);
#endif

  if (curl_multi_add_handle(multi.get(), handle) != CURLM_OK) return response;

  bool finished = false;
  bool expired = false;
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) break;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
      if (message->msg == CURLMSG_DONE && message->easy_handle == handle) {
        finished = true;
        result = message->data.result;
      }
    }
    if (finished || running == 0) break;
    auto left = deadline - SteadyClock::now();
    if (left <= SteadyClock::duration::zero()) {
      expired = true;
      break;
    }
    auto leftMilliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    int wait = static_cast<int>(std::min<long long>(leftMilliseconds, pollSliceMilliseconds));
    if (curl_multi_poll(multi.get(), nullptr, 0, wait, nullptr) != CURLM_OK) break;
  }

  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  curl_multi_remove_handle(multi.get(), handle);

  if (!finished) {
    response.outcome = expired ? HttpResponse::Outcome::timedOut : HttpResponse::Outcome::failed;
    return response;
  }
  if (sink.overflowed) {
    response.outcome = HttpResponse::Outcome::bodyTooLarge;
    response.status = static_cast<int>(status);
    return response;
  }
  if (result != CURLE_OK) return response;
  response.outcome = HttpResponse::Outcome::completed;
  response.status = static_cast<int>(status);
  response.body = std::move(sink.body);
  return response;
}

}  // namespace meterwright
