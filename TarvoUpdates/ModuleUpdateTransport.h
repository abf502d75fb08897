#pragma once

#include "NetworkModule.h"
#include "UpdateTransport.h"

namespace tarvo {

// The update transport made by the network module at the first fetch, so that
// Qt Network and the libraries under it are mapped only when a check runs.
// Without the module every fetch fails as a network failure. Main thread.
class ModuleUpdateTransport final : public UpdateTransport {
public:
    ModuleUpdateTransport();
    ~ModuleUpdateTransport() override;

    std::unique_ptr<FetchTask> fetch(const QUrl& url, DataHandler onData,
                                     FinishHandler onFinished) override;

private:
    LoadableModule::Loader<NetworkModule> m_transport;
};

} // namespace tarvo
