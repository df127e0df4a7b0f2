#include "receiver/modelock/modelock.hpp"

namespace hfchain {

namespace {

ModelockOut search(const ComplexArray&, const VarShapping&, const VarModelock&, HostServices*) {
    return ModelockOut();  // the search follows
}

}  // namespace

ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings) {
    return search(MatchedFilterIn, varShapping, settings, nullptr);
}

ModelockOut modelock(const ComplexArray& MatchedFilterIn, const VarShapping& varShapping,
                     const VarModelock& settings, HostServices& host) {
    return search(MatchedFilterIn, varShapping, settings, &host);
}

}  // namespace hfchain
