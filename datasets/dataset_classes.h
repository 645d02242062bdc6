#ifndef TAVORA_DATASETS_DATASET_CLASSES_H_
#define TAVORA_DATASETS_DATASET_CLASSES_H_

#include "harness/test_library.h"

namespace tavora {

// New objects of the four dataset classes, as IDataset.
harness::ComPtr<harness::IDataset> MakeStandardDataset();
harness::ComPtr<harness::IDataset> MakeSnapPubDataset();
harness::ComPtr<harness::IDataset> MakeTransPubDataset();
harness::ComPtr<harness::IDataset> MakeMergePubDataset();

}  // namespace tavora

#endif  // TAVORA_DATASETS_DATASET_CLASSES_H_
