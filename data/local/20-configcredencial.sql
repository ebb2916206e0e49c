-- Card layout: one record holding, for each of the five cards printed on one sheet, the
-- position of its ten texts (twips, 1440 per inch, from the top-left corner of the printable
-- area: x = column, y = row of the top of the text) and their font size (fonte, points).
-- Values are text: the layout window stores whatever the operator types and printing
-- converts them.

CREATE TABLE configcredencial (
  id INTEGER PRIMARY KEY,
  fichax1 TEXT, fichay1 TEXT, nomex1 TEXT, nomey1 TEXT, civilx1 TEXT, civily1 TEXT, dataadmissaox1 TEXT, dataadmissaoy1 TEXT, rgx1 TEXT, rgy1 TEXT,
  fichaversox1 TEXT, fichaversoy1 TEXT, validadex1 TEXT, validadey1 TEXT, igrejax1 TEXT, igrejay1 TEXT, ufcongx1 TEXT, ufcongy1 TEXT, setornomex1 TEXT, setornomey1 TEXT,
  fonte1 TEXT,
  fichax2 TEXT, fichay2 TEXT, nomex2 TEXT, nomey2 TEXT, civilx2 TEXT, civily2 TEXT, dataadmissaox2 TEXT, dataadmissaoy2 TEXT, rgx2 TEXT, rgy2 TEXT,
  fichaversox2 TEXT, fichaversoy2 TEXT, validadex2 TEXT, validadey2 TEXT, igrejax2 TEXT, igrejay2 TEXT, ufcongx2 TEXT, ufcongy2 TEXT, setornomex2 TEXT, setornomey2 TEXT,
  fonte2 TEXT,
  fichax3 TEXT, fichay3 TEXT, nomex3 TEXT, nomey3 TEXT, civilx3 TEXT, civily3 TEXT, dataadmissaox3 TEXT, dataadmissaoy3 TEXT, rgx3 TEXT, rgy3 TEXT,
  fichaversox3 TEXT, fichaversoy3 TEXT, validadex3 TEXT, validadey3 TEXT, igrejax3 TEXT, igrejay3 TEXT, ufcongx3 TEXT, ufcongy3 TEXT, setornomex3 TEXT, setornomey3 TEXT,
  fonte3 TEXT,
  fichax4 TEXT, fichay4 TEXT, nomex4 TEXT, nomey4 TEXT, civilx4 TEXT, civily4 TEXT, dataadmissaox4 TEXT, dataadmissaoy4 TEXT, rgx4 TEXT, rgy4 TEXT,
  fichaversox4 TEXT, fichaversoy4 TEXT, validadex4 TEXT, validadey4 TEXT, igrejax4 TEXT, igrejay4 TEXT, ufcongx4 TEXT, ufcongy4 TEXT, setornomex4 TEXT, setornomey4 TEXT,
  fonte4 TEXT,
  fichax5 TEXT, fichay5 TEXT, nomex5 TEXT, nomey5 TEXT, civilx5 TEXT, civily5 TEXT, dataadmissaox5 TEXT, dataadmissaoy5 TEXT, rgx5 TEXT, rgy5 TEXT,
  fichaversox5 TEXT, fichaversoy5 TEXT, validadex5 TEXT, validadey5 TEXT, igrejax5 TEXT, igrejay5 TEXT, ufcongx5 TEXT, ufcongy5 TEXT, setornomex5 TEXT, setornomey5 TEXT,
  fonte5 TEXT
);

-- Default layout: five ID-1 cards (85,6 x 54 mm) one under the other every 55 mm (a cutting
-- gap between them), the front on the left and the back on the right from 90 mm; 9-point text.
--   front: sheet number top right; name; marital status and admission date; identity number
--   back:  sheet number top right; congregation; sector and state; validity
INSERT INTO configcredencial (id,
  fichax1, fichay1, nomex1, nomey1, civilx1, civily1, dataadmissaox1, dataadmissaoy1, rgx1, rgy1, fichaversox1, fichaversoy1, validadex1, validadey1, igrejax1, igrejay1, ufcongx1, ufcongy1, setornomex1, setornomey1, fonte1,
  fichax2, fichay2, nomex2, nomey2, civilx2, civily2, dataadmissaox2, dataadmissaoy2, rgx2, rgy2, fichaversox2, fichaversoy2, validadex2, validadey2, igrejax2, igrejay2, ufcongx2, ufcongy2, setornomex2, setornomey2, fonte2,
  fichax3, fichay3, nomex3, nomey3, civilx3, civily3, dataadmissaox3, dataadmissaoy3, rgx3, rgy3, fichaversox3, fichaversoy3, validadex3, validadey3, igrejax3, igrejay3, ufcongx3, ufcongy3, setornomex3, setornomey3, fonte3,
  fichax4, fichay4, nomex4, nomey4, civilx4, civily4, dataadmissaox4, dataadmissaoy4, rgx4, rgy4, fichaversox4, fichaversoy4, validadex4, validadey4, igrejax4, igrejay4, ufcongx4, ufcongy4, setornomex4, setornomey4, fonte4,
  fichax5, fichay5, nomex5, nomey5, civilx5, civily5, dataadmissaox5, dataadmissaoy5, rgx5, rgy5, fichaversox5, fichaversoy5, validadex5, validadey5, igrejax5, igrejay5, ufcongx5, ufcongy5, setornomex5, setornomey5, fonte5)
VALUES (1,
  -- card 1
  '3500', '250', '300', '1150', '300', '1850', '2700', '1850', '300', '2550', '8602', '250', '5402', '2550', '5402', '1150', '9002', '1850', '5402', '1850', '9',
  -- card 2
  '3500', '3368', '300', '4268', '300', '4968', '2700', '4968', '300', '5668', '8602', '3368', '5402', '5668', '5402', '4268', '9002', '4968', '5402', '4968', '9',
  -- card 3
  '3500', '6486', '300', '7386', '300', '8086', '2700', '8086', '300', '8786', '8602', '6486', '5402', '8786', '5402', '7386', '9002', '8086', '5402', '8086', '9',
  -- card 4
  '3500', '9604', '300', '10504', '300', '11204', '2700', '11204', '300', '11904', '8602', '9604', '5402', '11904', '5402', '10504', '9002', '11204', '5402', '11204', '9',
  -- card 5
  '3500', '12722', '300', '13622', '300', '14322', '2700', '14322', '300', '15022', '8602', '12722', '5402', '15022', '5402', '13622', '9002', '14322', '5402', '14322', '9');
