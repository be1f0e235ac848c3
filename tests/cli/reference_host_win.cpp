// reference-host.exe: glimmora-host.exe with the plug-in driven by the test
// host's own run (run_filter: a guarded copy of every buffer, every request
// and every write to the FilterRecord checked) instead of the program's
// direct buffers.  Same command line, same messages.  The CLI tier holds
// glimmora-host.exe's output to this program's (SameAsTestHost), the GEGL
// tier the operation's (SameAsPlugin).
#include <cstring>

#include "cli/command.h"
#include "testhost.h"

namespace {

class test_host_driver : public plugin_driver {
public:
    std::unique_ptr<filter_host::plugin_host> load(const std::string& path,
                                                   const std::string& entry_name) const override
    {
        std::unique_ptr<testhost::plugin_host> host(new testhost::plugin_host(path, entry_name));
        // No watchdog: a dialog run takes as long as its user.
        host->set_call_timeout_ms(0);
        return std::unique_ptr<filter_host::plugin_host>(host.release());
    }

    drive_result run(filter_host::plugin_host& host, const drive_request& q) const override
    {
        testhost::plugin_host& test_host = static_cast<testhost::plugin_host&>(host);
        const size_t size = (size_t)q.width * q.height * q.planes;
        testhost::run_request request;
        request.source.width = q.width;
        request.source.height = q.height;
        request.source.planes = q.planes;
        request.source.pixels.assign(q.source, q.source + size);
        request.image_mode = q.image_mode;
        if (q.mask != nullptr) request.mask.assign(q.mask, q.mask + (size_t)q.width * q.height);
        request.is_floating = q.is_floating;
        request.max_space = q.max_space;
        request.menu_run = q.menu_run;
        request.filter_case = q.filter_case;
        test_host.set_progress_listener(q.progress);
        testhost::run_result run = test_host.run_filter(request);
        std::memcpy(q.destination, run.output.pixels.data(), size);

        drive_result outcome;
        outcome.result = run.result;
        outcome.failed_selector = run.failed_selector;
        outcome.finished = run.finished;
        if (!run.protocol_errors.empty()) outcome.protocol_error = run.protocol_errors.front();
        return outcome;
    }
};

}  // namespace

int main(int argc, char** argv)
{
    return host_main(argc, argv, test_host_driver());
}
