#include "platform/http/CurlHttpTransport.h"

// The functions are called through pointers, so the header's type-checking macros must not wrap
// their names.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <optional>

namespace meterwright {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Longest single wait inside the transfer loop, so the deadline is checked often enough even
// when curl asks for a long timeout.
constexpr int pollSliceMilliseconds = 200;

// libcurl, loaded on the first request rather than at start. Linked in, it and what it links
// (TLS, Kerberos, LDAP…) would cost every run of the program their loading and initialisation,
// about three quarters of a status line's start-up, though most runs never send a request.
struct Curl {
  decltype(&curl_global_init) global_init;
  decltype(&curl_easy_init) easy_init;
  decltype(&curl_easy_cleanup) easy_cleanup;
  decltype(&curl_easy_setopt) easy_setopt;
  decltype(&curl_easy_getinfo) easy_getinfo;
  decltype(&curl_multi_init) multi_init;
  decltype(&curl_multi_cleanup) multi_cleanup;
  decltype(&curl_multi_add_handle) multi_add_handle;
  decltype(&curl_multi_remove_handle) multi_remove_handle;
  decltype(&curl_multi_perform) multi_perform;
  decltype(&curl_multi_info_read) multi_info_read;
  decltype(&curl_multi_poll) multi_poll;
  decltype(&curl_slist_append) slist_append;
  decltype(&curl_slist_free_all) slist_free_all;
  decltype(&curl_strequal) strequal;
};

template <typename Function>
bool resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

// Nothing when libcurl cannot be loaded: every request then fails as one that got no answer.
// Loaded once and kept for the life of the process.
const Curl* curl() {
  static const std::optional<Curl> loaded = []() -> std::optional<Curl> {
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return std::nullopt;
    Curl api{};
    bool found = resolve(library, "curl_global_init", api.global_init) &&
                 resolve(library, "curl_easy_init", api.easy_init) &&
                 resolve(library, "curl_easy_cleanup", api.easy_cleanup) &&
                 resolve(library, "curl_easy_setopt", api.easy_setopt) &&
                 resolve(library, "curl_easy_getinfo", api.easy_getinfo) &&
                 resolve(library, "curl_multi_init", api.multi_init) &&
                 resolve(library, "curl_multi_cleanup", api.multi_cleanup) &&
                 resolve(library, "curl_multi_add_handle", api.multi_add_handle) &&
                 resolve(library, "curl_multi_remove_handle", api.multi_remove_handle) &&
                 resolve(library, "curl_multi_perform", api.multi_perform) &&
                 resolve(library, "curl_multi_info_read", api.multi_info_read) &&
                 resolve(library, "curl_multi_poll", api.multi_poll) &&
                 resolve(library, "curl_slist_append", api.slist_append) &&
                 resolve(library, "curl_slist_free_all", api.slist_free_all) &&
                 resolve(library, "curl_strequal", api.strequal);
    if (!found) return std::nullopt;
    // Inside the one-time initialisation: curl_global_init is not safe to race with itself.
    if (api.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return std::nullopt;
    return api;
  }();
  return loaded ? &*loaded : nullptr;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl()->easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl()->multi_cleanup(multi); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl()->slist_free_all(list); }
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
curl_slist* headerList(const Curl& api, const HttpRequest& request) {
  curl_slist* list = nullptr;
  auto append = [&](const std::string& line) {
    if (curl_slist* grown = api.slist_append(list, line.c_str())) list = grown;
  };
  bool hasAccept = false;
  for (const auto& [name, value] : request.headers) {
    append(value.empty() ? name + ";" : name + ": " + value);
    if (api.strequal(name.c_str(), "Accept")) hasAccept = true;
  }
  if (!hasAccept) append("Accept:");
  return list;
}

}  // namespace

CurlHttpTransport::CurlHttpTransport() = default;

HttpResponse CurlHttpTransport::get(const HttpRequest& request, double deadlineSeconds) {
  HttpResponse response;
  auto deadline = SteadyClock::now() + std::chrono::milliseconds(millisecondsFrom(deadlineSeconds));

  const Curl* api = curl();
  if (!api) return response;
  auto setopt = api->easy_setopt;
  std::unique_ptr<CURL, EasyDeleter> easy(api->easy_init());
  std::unique_ptr<CURLM, MultiDeleter> multi(api->multi_init());
  std::unique_ptr<curl_slist, ListDeleter> headers(headerList(*api, request));
  if (!easy || !multi) return response;

  BodySink sink;
  sink.limit = request.bodyLimit;
  CURL* handle = easy.get();
  setopt(handle, CURLOPT_URL, request.url.c_str());
  setopt(handle, CURLOPT_HTTPGET, 1L);
  setopt(handle, CURLOPT_HTTPHEADER, headers.get());
  setopt(handle, CURLOPT_WRITEFUNCTION, collectBody);
  setopt(handle, CURLOPT_WRITEDATA, &sink);
  setopt(handle, CURLOPT_TIMEOUT_MS, millisecondsFrom(request.timeoutSeconds));
  setopt(handle, CURLOPT_NOSIGNAL, 1L);
  setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
  setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
#if LIBCURL_VERSION_NUM >= 0x075700
  // Lets the cleanup below abandon a name lookup that is still running instead of joining it,
  // which could block far past the deadline.
  setopt(handle, CURLOPT_QUICK_EXIT, 1L);
#endif

  if (api->multi_add_handle(multi.get(), handle) != CURLM_OK) return response;

  bool finished = false;
  bool expired = false;
  CURLcode result = CURLE_OK;
  for (;;) {
    int running = 0;
    if (api->multi_perform(multi.get(), &running) != CURLM_OK) break;
    int queued = 0;
    while (CURLMsg* message = api->multi_info_read(multi.get(), &queued)) {
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
    if (api->multi_poll(multi.get(), nullptr, 0, wait, nullptr) != CURLM_OK) break;
  }

  long status = 0;
  api->easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  api->multi_remove_handle(multi.get(), handle);

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
