// The network module's one entry: the update transport over Qt Network.
#include "NetworkModule.h"
#include "URLSessionUpdateTransport.h"

namespace tarvo {

namespace {

UpdateTransport* makeTransport() {
    return new URLSessionUpdateTransport;
}

constexpr NetworkModule module{NetworkModule::currentVersion, &makeTransport};

} // namespace

} // namespace tarvo

extern "C" __attribute__((visibility("default"))) const tarvo::NetworkModule*
tarvo_network_module() {
    return &tarvo::module;
}
