// Stand-ins for the avahi client calls of ippeveprinter, loaded with LD_PRELOAD by the print tests.
//
// ippeveprinter ends at start-up when no avahi daemon answers, and a test machine runs none. The
// test queues reach the printer by a direct ipp:// address, so nothing needs advertising: every
// call here succeeds and does nothing. The signatures are avahi-client's, with the library's own
// types reduced to the plain types they are passed as.
#include <cstdint>

namespace {
char client;
char entryGroup;
}  // namespace

extern "C" {

void* avahi_client_new(const void* /*poll*/, int /*flags*/, void* /*callback*/, void* /*userdata*/,
                       int* error) {
  if (error != nullptr) *error = 0;
  return &client;
}

void avahi_client_free(void* /*client*/) {}

int avahi_client_errno(void* /*client*/) { return 0; }

const char* avahi_client_get_host_name_fqdn(void* /*client*/) { return "localhost"; }

void* avahi_entry_group_new(void* /*client*/, void* /*callback*/, void* /*userdata*/) { return &entryGroup; }

int avahi_entry_group_free(void* /*group*/) { return 0; }

int avahi_entry_group_reset(void* /*group*/) { return 0; }

int avahi_entry_group_commit(void* /*group*/) { return 0; }

int avahi_entry_group_add_service_strlst(void* /*group*/, int /*interface*/, int /*protocol*/, int /*flags*/,
                                         const char* /*name*/, const char* /*type*/, const char* /*domain*/,
                                         const char* /*host*/, std::uint16_t /*port*/, void* /*txt*/) {
  return 0;
}

int avahi_entry_group_add_service_subtype(void* /*group*/, int /*interface*/, int /*protocol*/, int /*flags*/,
                                          const char* /*name*/, const char* /*type*/, const char* /*domain*/,
                                          const char* /*subtype*/) {
  return 0;
}

}  // extern "C"
