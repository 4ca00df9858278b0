#include "net/CurlHandles.h"

#include <mutex>
#include <new>

#include "net/Transfer.h"

namespace tvx::net::detail {

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw std::bad_alloc();
  });
}

void AppendHeader(HeaderList& list, const char* line) {
  curl_slist* grown = curl_slist_append(list.get(), line);
  if (!grown) throw InternetError("Out of memory");
  (void)list.release();  // now part of grown
  list.reset(grown);
}

CurlHandles::CurlHandles() {
  EnsureCurlInitialised();
  multi.reset(curl_multi_init());
  easy.reset(curl_easy_init());
  if (!easy || !multi) throw InternetError("Out of memory");
}

CurlHandles::~CurlHandles() {
  if (busy) curl_multi_remove_handle(multi.get(), easy.get());
}

}  // namespace tvx::net::detail
