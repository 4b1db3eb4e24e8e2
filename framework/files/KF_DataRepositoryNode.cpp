#include "framework/files/KF_DataRepositoryNode.h"

KF_DataRepositoryNode::~KF_DataRepositoryNode()
{
    m_gChildren.DeleteAll();
    delete[] m_pCompressedData;
    m_pCompressedData = nullptr;
}
