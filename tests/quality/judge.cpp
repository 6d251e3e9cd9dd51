#include "tests/quality/judge.h"

Judged judge(qvs::SceneKind kind, uint32_t seed)
{
    const cv::Size size = qvs::standard_size(kind);
    qvs::Scene scene = qvs::make_scene(kind, seed, size.width, size.height);
    qvs::Run run = qvs::run_detector(scene);
    qvs::Score score = qvs::score(scene, run);
    return {std::move(scene), std::move(run), std::move(score)};
}

void expect_sound_run(const Judged &j)
{
    ASSERT_TRUE(j.run.created) << j.scene.name();
    ASSERT_TRUE(j.run.regions_accepted) << j.scene.name();
    std::string faults;
    for (const std::string &f : j.run.faults)
        faults += "  " + f + "\n";
    EXPECT_TRUE(j.run.faults.empty()) << j.scene.name() << " output faults:\n" << faults;
}

void expect_exact_events(const Judged &j)
{
    EXPECT_TRUE(j.score.missed.empty() && j.score.spurious.empty())
        << j.scene.name() << ": " << j.score.missed.size() << " missed, " << j.score.spurious.size()
        << " spurious of " << j.scene.events().size() << " expected\n"
        << qvs::event_report(j.score);
}
