#include "tests/support/fake_detector.h"

#include <csignal>
#include <cstring>

namespace fake {
namespace {

struct State {
    Calls calls;
    std::vector<qv_result> results;
    bool fail_init = false;
    bool reject_regions = false;
    int handle_token = 0;
    int raise_at = -1;
    int raise_signal = 0;
    std::function<void(int, const qv_image &)> hook;
};

State &state()
{
    static State s;
    return s;
}

} // namespace

void reset()
{
    state() = State{};
}

void set_results(std::vector<qv_result> results)
{
    state().results = std::move(results);
}

void fail_init(bool fail)
{
    state().fail_init = fail;
}

void reject_regions(bool reject)
{
    state().reject_regions = reject;
}

void raise_during_detect(int k, int signal_number)
{
    state().raise_at = k;
    state().raise_signal = signal_number;
}

void on_detect(std::function<void(int, const qv_image &)> hook)
{
    state().hook = std::move(hook);
}

const Calls &calls()
{
    return state().calls;
}

qv_result make_result(int count)
{
    qv_result result;
    std::memset(&result, 0, sizeof result);
    result.count = count;
    for (int i = 0; i < count; ++i) {
        result.objects[i].id = i;
        result.objects[i].box = {10 + 20 * i, 10, 8, 16};
    }
    return result;
}

} // namespace fake

extern "C" void qv_init(void **handle, qv_config config)
{
    fake::State &s = fake::state();
    ++s.calls.init;
    if (s.calls.detect == 0)
        ++s.calls.init_before_detect;
    s.calls.config = config;
    if (!s.fail_init)
        *handle = &s.handle_token;
}

extern "C" int32_t qv_init_region(void *, int32_t count, const qv_region *regions, int32_t reserved)
{
    fake::State &s = fake::state();
    ++s.calls.init_region;
    s.calls.region_count = count;
    s.calls.region_reserved = reserved;
    s.calls.region_address = regions;
    s.calls.regions.assign(regions, regions + count);
    return s.reject_regions ? 0 : 1;
}

extern "C" void qv_detect(void *, qv_image image, const qv_region *regions, qv_result *result)
{
    fake::State &s = fake::state();
    const int k = s.calls.detect++;
    if (k == s.raise_at)
        std::raise(s.raise_signal);
    if (s.hook)
        s.hook(k, image);
    if (regions != s.calls.region_address)
        s.calls.same_region_address = false;
    if (image.width != s.calls.config.image.width || image.height != s.calls.config.image.height ||
        image.data != s.calls.config.image.data)
        s.calls.same_image_size = false;
    if (s.results.empty()) {
        result->count = 0;
        return;
    }
    const size_t index = std::min<size_t>(static_cast<size_t>(k), s.results.size() - 1);
    std::memcpy(result, &s.results[index], sizeof *result);
}
