#include "zoom_movie_job.h"

#include <sstream>

#include "deep/deep_picture_file.h"
#include "movie/zoom_keyframes.h"
#include "movie/zoom_movie.h"

namespace mandel_ui {

std::vector<std::string> colouringOptions(const mandel::Colouring& colouring) {
    std::vector<std::string> options{"--colouring", std::string(mandel::colouringModeName(colouring.mode))};
    if (mandel::usesGradient(colouring)) options.insert(options.end(), {"--palette", colouring.palette});
    return options;
}

void runZoomMovieJob(const ZoomMovieJob& job, const std::atomic<bool>& cancel, const ZoomMovieProgress& progress) {
    mandel::movie::KeyframeOptions keyframes;
    keyframes.outDir = job.keyframesDir;
    keyframes.render.view = mandel::toDeepView(job.from, job.width, job.height);
    keyframes.render.view.location.limit = job.from.limit;
    keyframes.render.colouring = job.colouring;
    keyframes.render.colouring.automaticDensity = true;
    const mandel::DeepLocation& deepest = keyframes.render.view.location;
    // As the command line would record the same zoom.
    keyframes.recorded = colouringOptions(job.colouring);
    keyframes.recorded.insert(keyframes.recorded.end(),
                              {"--size", mandel::pictureSizeText(job.width, job.height), deepest.realMin,
                               deepest.imagMin, deepest.side, std::to_string(deepest.limit)});
    mandel::movie::KeyframesControl control;
    control.cancel = &cancel;
    control.progress = [&](int done, int total) { progress(ZoomMoviePhase::Keyframes, done, total); };
    std::ostringstream notes;  // a damaged reference file's note: the window has no use for it
    mandel::movie::renderKeyframes(keyframes, notes, false, control);

    mandel::movie::MovieOptions movie;
    movie.dir = job.keyframesDir;
    movie.fps = job.fps;
    movie.seconds = job.seconds;
    movie.outPath = job.moviePath;
    mandel::movie::makeMovie(movie, &cancel,
                             [&](int done, int total) { progress(ZoomMoviePhase::Frames, done, total); });
}

}  // namespace mandel_ui
