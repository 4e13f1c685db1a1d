#include "deep/deep_outputs.h"

namespace mandel {

DeepPictureResult drawDeepOutputs(DeepDrawing& drawing, const DeepPictureFacts& facts, const DeepOutputPaths& paths,
                                  const DeepPictureOptions& options) {
    const int width = facts.view.width, height = facts.view.height;
    std::vector<std::unique_ptr<PictureSink>> pictures;
    if (paths.png) pictures.push_back(openDeepPictureFile(*paths.png, PictureFormat::Png, facts));
    if (paths.bmp) pictures.push_back(openDeepPictureFile(*paths.bmp, PictureFormat::Bmp, facts));
    std::unique_ptr<CountMapWriter> countMap;
    if (paths.counts) countMap = std::make_unique<CountMapWriter>(*paths.counts, width, height);
    std::unique_ptr<FlagMapWriter> flagMap;
    if (paths.flags) flagMap = std::make_unique<FlagMapWriter>(*paths.flags, width, height);

    std::vector<PictureSink*> pictureSinks;
    for (const auto& picture : pictures) pictureSinks.push_back(picture.get());
    std::vector<CountSink*> countSinks;
    if (countMap) countSinks.push_back(countMap.get());
    std::vector<FlagSink*> flagSinks;
    if (flagMap) flagSinks.push_back(flagMap.get());
    return drawDeepPicture(drawing, pictureSinks, countSinks, options, flagSinks);
}

}  // namespace mandel
