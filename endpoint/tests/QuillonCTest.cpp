// The C interface against the simulated service: its results, and the list of endpoints (which
// the class's static member gives as well). Its callback is in PlatformRulesTest.cpp.
#include "QuillonTest.h"

namespace
{

// Each row runs in turn on one handle; the result says why a call failed, and a read that fails
// leaves the value as it was.
TEST_F(QuillonTest, CFunctionsSayWhyACallFailed)
{
    m_service.AddEndpoint(L"Line Out");
    QUILLON_HANDLE hQuillon = nullptr;
    ASSERT_EQ(Quillon_Create(&hQuillon), S_OK);
    float fDb = 0.0f;
    BOOL bMuted = TRUE;
    const struct
    {
        const char* pszWhat;
        std::function<HRESULT()> call;
        HRESULT hr;
    } rows[] = {
        {"no out pointer", [&] { return Quillon_Create(nullptr); }, E_POINTER},
        {"no handle", [&] { return Quillon_SetVolume(nullptr, 0.5f); }, E_POINTER},
        {"no endpoint open", [&] { return Quillon_GetMute(hQuillon, &bMuted); }, QUILLON_E_NOT_INITIALIZED},
        {"no key", [&] { return Quillon_InitializeByKey(hQuillon, nullptr); }, E_POINTER},
        {"an unknown key", [&] { return Quillon_InitializeByKey(hQuillon, "Line In"); }, QUILLON_E_NOT_FOUND},
        {"a key", [&] { return Quillon_InitializeByKey(hQuillon, "LINE OUT"); }, S_OK},
        {"the platform's failure",
         [&] { return m_service.OnNext("GetMute", [] { return E_ACCESSDENIED; }), Quillon_GetMute(hQuillon, &bMuted); },
         E_ACCESSDENIED},
        {"decibels", [&] { return Quillon_SetVolumeDb(hQuillon, -6.0f); }, S_OK},
        {"read in decibels", [&] { return Quillon_GetVolumeDb(hQuillon, &fDb); }, S_OK},
        {"no out pointer", [&] { return Quillon_GetVolume(hQuillon, nullptr); }, E_POINTER},
        {"the default endpoint", [&] { return Quillon_InitializeDefault(hQuillon); }, S_OK},
        {"a scalar level", [&] { return Quillon_SetVolume(hQuillon, 0.25f); }, S_OK},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.call(), row.hr) << row.pszWhat;
    EXPECT_EQ(fDb, -6.0f);
    EXPECT_EQ(bMuted, TRUE);
    EXPECT_EQ(Level(m_iDefault), 0.25f);
    Quillon_Destroy(hQuillon);
    Quillon_Destroy(nullptr);
    EXPECT_EQ(m_service.Live(), 0);
}

// The active endpoints in the platform's order: each key as eFindByName matches it and as given,
// each name as UTF-8 and UTF-16, the default marked; a listed key opens its endpoint; a failing
// platform call fails the whole list. Every property value read is freed.
TEST_F(QuillonTest, ListsTheActiveEndpointsWithKeysNamesAndTheDefault)
{
    const int iEcho = m_service.AddEndpoint(L"\u00C9cho", L"Haut-parleurs \u00E9cho");
    m_service.RemoveEndpoint(m_service.AddEndpoint(L"Gone"));
    m_service.AddEndpoint(nullptr, L"");
    m_service.SetDefault(iEcho);
    const QUILLON_ENDPOINT rows[] = {
        {"{0.0.0.00000000}.{default}", L"{0.0.0.00000000}.{default}", "Speakers (Default)", L"Speakers (Default)",
         FALSE},
        {"\xC9\x63ho", L"\u00C9cho", "Haut-parleurs \xC3\xA9\x63ho", L"Haut-parleurs \u00E9cho", TRUE},
        {"", L"", "", L"", FALSE}};
    QUILLON_ENDPOINT_LIST* pList = nullptr;
    ASSERT_EQ(CQuillon::ListEndpoints(&pList), S_OK);
    ASSERT_EQ(Quillon_EndpointCount(pList), 3u);
    for (UINT32 i = 0; i < 3; ++i) {
        QUILLON_ENDPOINT endpoint;
        ASSERT_EQ(Quillon_GetEndpoint(pList, i, &endpoint), S_OK);
        EXPECT_STREQ(endpoint.pszKey, rows[i].pszKey);
        EXPECT_STREQ(endpoint.pwszKey, rows[i].pwszKey);
        EXPECT_STREQ(endpoint.pszName, rows[i].pszName);
        EXPECT_STREQ(endpoint.pwszName, rows[i].pwszName);
        EXPECT_EQ(endpoint.bDefault, rows[i].bDefault) << i;
    }
    QUILLON_ENDPOINT endpoint;
    EXPECT_EQ(Quillon_GetEndpoint(pList, 3, &endpoint), E_INVALIDARG);
    Quillon_FreeEndpointList(pList);
    CQuillon* pQuillon = new CQuillon;
    EXPECT_TRUE(pQuillon->Initialize(eFindByName, rows[1].pszKey) &&
                m_service.Registrations() == std::vector<int>{iEcho});
    delete pQuillon;
    m_service.OnNext("GetValue", [] { return E_ACCESSDENIED; });
    EXPECT_EQ(Quillon_ListEndpoints(&pList), E_ACCESSDENIED);
    EXPECT_EQ(pList, nullptr);
    EXPECT_EQ(m_service.Live(), 0);
}

}
