// The network module's one entry: the update transport over Qt Network.
#include "NetworkModule.h"
#include "URLSessionUpdateTransport.h"

extern "C" __attribute__((visibility("default"))) const tarvo::NetworkModule*
tarvo_network_module() {
    return tarvo::LoadableModule::makerTable<tarvo::NetworkModule,
                                             tarvo::URLSessionUpdateTransport>();
}
