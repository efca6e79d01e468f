// Preloaded into ippeveprinter by the print tests. The test printer insists on announcing itself
// over DNS-SD; these stand-ins accept every announcement and send none, so the printer runs without
// an Avahi daemon and is never advertised on the network.
namespace {
char client;
char group;
}  // namespace

extern "C" {
void* avahi_client_new(const void*, int, void*, void*, int* error) {
    if (error)
        *error = 0;
    return &client;
}
int avahi_client_errno(void*) {
    return 0;
}
const char* avahi_client_get_host_name_fqdn(void*) {
    return "localhost";
}
void* avahi_entry_group_new(void*, void*, void*) {
    return &group;
}
int avahi_entry_group_add_service_strlst() {
    return 0;
}
int avahi_entry_group_add_service_subtype() {
    return 0;
}
int avahi_entry_group_commit(void*) {
    return 0;
}
int avahi_entry_group_free(void*) {
    return 0;
}
}
