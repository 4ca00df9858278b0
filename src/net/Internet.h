#pragma once
// The Internet client: sessions, plain GETs, HTTP requests, anonymous FTP and
// a pull interface for reading bodies, over libcurl, all under one transfer
// policy (TransferPolicy.h). Every failure arrives as one InternetError that
// carries the client's message text. Callers include this header; the
// parallel fetcher has its own (ParallelFetch.h).
#include "net/Ftp.h"
#include "net/Session.h"
#include "net/Transfer.h"
#include "net/Url.h"
