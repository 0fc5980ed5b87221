// The server library makes some answers itself (a request line or headers too large for its
// memory, an HTTP version it does not speak, a malformed request) and offers no way to add a
// header to them. It queues them, as every other answer, through its exported
// MHD_queue_response, and calls that by name: defined here, in the program, this one is called in
// its place, adds the headers every answer carries, and hands the answer to the library's own.
#include <microhttpd.h>

#include <dlfcn.h>

extern "C" MHD_Result MHD_queue_response(MHD_Connection *connection, unsigned int status_code,
                                         MHD_Response *response) {
    using Queue = MHD_Result (*)(MHD_Connection *, unsigned int, MHD_Response *);
    static const auto library = reinterpret_cast<Queue>(dlsym(RTLD_NEXT, "MHD_queue_response"));
    if (library == nullptr)
        return MHD_NO;
    MHD_add_response_header(response, "Cache-Control", "no-store");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    return library(connection, status_code, response);
}
