#pragma once

#include "core/http/HttpTransport.h"

namespace meterwright {

// HttpTransport over libcurl with the system's CA store. Each request runs on its own multi
// handle driven from the calling thread, so when the deadline passes the transfer is simply
// removed and freed there: no completion can arrive later, and the caller never waits past its
// deadline for a slow server, an endless body or a stuck name lookup. Only http and https URLs
// are fetched, and redirects are not followed (the bearer token must not travel to another host).
class CurlHttpTransport final : public HttpTransport {
 public:
  CurlHttpTransport();
  HttpResponse get(const HttpRequest& request, double deadlineSeconds) override;
};

}  // namespace meterwright
