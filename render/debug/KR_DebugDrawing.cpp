#include "render/debug/KR_DebugDrawing.h"

#include "framework/app/KE_ApplicationManager.h"
#include "framework/app/KE_EngineMembers.h"
#include "render/device/KR_GraphicsDevice.h"
#include "render/device/KR_GraphicsResourceManager.h"
#include "render/device/KR_MaterialManager.h"
#include "render/device/KR_ShaderCoreManager.h"

using namespace DirectX;

ID3D11Buffer* KR_DebugDrawing::CreateStaticBuffer(UINT uiBindFlags, const void* pData, UINT uiByteWidth)
{
    KR_GraphicsDevice* pGraphics = KE_GetGraphicsDevice();
    ID3D11Device* pDevice = pGraphics != nullptr ? pGraphics->GetDevice() : nullptr;
    if (pDevice == nullptr || pData == nullptr || uiByteWidth == 0)
        return nullptr;
    D3D11_BUFFER_DESC desc = {};
    desc.ByteWidth = uiByteWidth;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = uiBindFlags;
    D3D11_SUBRESOURCE_DATA data = {};
    data.pSysMem = pData;
    ID3D11Buffer* pBuffer = nullptr;
    if (FAILED(pDevice->CreateBuffer(&desc, &data, &pBuffer)))
        return nullptr;
    return pBuffer;
}

KR_ShaderProgram* KR_DebugDrawing::GetFixedColorProgram()
{
    KR_MaterialManager* pMaterials = KE_GetMaterialManager();
    if (pMaterials == nullptr)
        return nullptr;
    const std::uint8_t uiFormat = VERTEX_FORMAT;
    return pMaterials->BuildSimpleShaderProperties(KR_SIMPLE_SHADER_FIXED_COLOR, &uiFormat, false);
}

ID3D11InputLayout* KR_DebugDrawing::GetInputLayout()
{
    KR_GraphicsResourceManager* pResources = KE_GetGraphicsResourceManager();
    if (pResources == nullptr)
        return nullptr;
    const std::uint8_t uiFormat = VERTEX_FORMAT;
    return pResources->GetInputLayout(&uiFormat);
}

bool KR_DebugDrawing::Draw(ID3D11Buffer* pVertexBuffer, ID3D11Buffer* pIndexBuffer, const DrawRange& range,
                           const KR_ShaderProgram* pProgram, ID3D11InputLayout* pLayout,
                           const XMMATRIX* pViewProjection, const XMMATRIX* pWorld, const XMFLOAT4& color)
{
    KE_ApplicationManager* pEngine = KE_ApplicationManager::GetInstance();
    if (pEngine == nullptr || pProgram == nullptr || pVertexBuffer == nullptr || pViewProjection == nullptr ||
        pWorld == nullptr)
        return false;
    KR_GraphicsDevice* pGraphics = pEngine->GetGraphicsDevice();
    ID3D11DeviceContext* pContext = pGraphics != nullptr ? pGraphics->GetImmediateContext() : nullptr;
    KR_ShaderCoreManager* pShaderCore = pEngine->GetShaderCoreManager();
    if (pContext == nullptr || pShaderCore == nullptr)
        return false;

    pContext->IASetInputLayout(pLayout);
    pContext->IASetPrimitiveTopology(range.topology);
    const UINT uiStride = VERTEX_STRIDE;
    const UINT uiOffset = 0;
    pContext->IASetVertexBuffers(0, 1, &pVertexBuffer, &uiStride, &uiOffset);
    pContext->IASetIndexBuffer(pIndexBuffer,
                               pIndexBuffer != nullptr ? DXGI_FORMAT_R16_UINT : DXGI_FORMAT_UNKNOWN, 0);
    pShaderCore->SetWorldMatrix(*pWorld);
    pShaderCore->SetWorldViewProjectionMatrix(XMMatrixMultiply(*pWorld, *pViewProjection));
    pShaderCore->SetObjectColor(color);
    pShaderCore->ApplyShaderProgram(pProgram);
    if (pIndexBuffer != nullptr)
        pContext->DrawIndexed(range.uiCount, range.uiStart, 0);
    else
        pContext->Draw(range.uiCount, range.uiStart);
    return true;
}
